// The long-lived state of one run: interpreter state and the shared records
// that the commands change in place.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/peak_settings.h"
#include "dataset/data_set.h"
#include "graphics/axis_settings.h"
#include "graphics/draw_settings.h"
#include "graphics/font_settings.h"
#include "graphics/graphics_state.h"
#include "graphics/markers.h"
#include "io/input_stack.h"
#include "io/output_sink.h"
#include "models/fit_state.h"
#include "models/model_tables.h"
#include "physics/physics_settings.h"
#include "text/fixed_text.h"

namespace tarva {

struct EngineState;

// The library directory compiled in: the build names <install prefix>/lib/tarva/.
#ifndef TARVA_LIB_DIR
#define TARVA_LIB_DIR "/usr/local/lib/tarva/"
#endif
inline constexpr const char* kDefaultLibraryDir = TARVA_LIB_DIR;

struct InterpreterState {
    InterpreterState(std::istream& keyboard, std::ostream& terminal) : input(keyboard), out(terminal) {}

    InputStack input;
    OutputSink out;
    char screen_mode = 'C';                       // screen action applied after each line read
    char remembered_screen = ' ';                 // last letter given to the screen operation
    FixedText<80> macro_library;                  // second place to look for macros
    std::string library_dir = kDefaultLibraryDir; // help files, X-ray lines
    std::string help_file;
    std::string function_help_file;
    FixedText<50> last_macro;        // marker %
    FixedText<100> macro_args;       // marker ~
    bool exit_requested = false;     // set when the keyboard input ended
    std::string out_previous_name;   // OUT's file name, offered again
    std::vector<std::string> labels; // label commands stored by LABEL, written by OUT
    // The line the loop prepared last, after its markers were expanded, and
    // one flag per column: nonzero where the text came from a substitution.
    // The $ command quotes those pieces for the shell.
    std::string expanded_line;
    std::string substituted;
    // What went wrong in a macro, counted for a batch run's results table
    // (nothing reads them in an interactive run): lines whose word is neither
    // a command nor a macro (the first such word kept), reads of a data
    // file or spectrum that failed (DATA, LOAD, MAKE, MCA, PHA), and
    // prompts whose macro ended before it answered them.
    int unknown_words = 0;
    std::string first_unknown_word;
    int failed_reads = 0;
    int unanswered_prompts = 0;
};

struct Session {
    Session(std::istream& keyboard, std::ostream& terminal);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    InterpreterState interp;
    DataSet data;
    FitState fit;
    ModelTables models;
    GraphicsState graphics;
    AxisSettings axes;
    DrawSettings draw;
    FontSettings fonts;
    Markers markers;
    PhysicsSettings physics;
    PeakSettings peaks;

    // The least-squares engine's working copy and scratch (about 800 KB),
    // allocated once with the session and kept between fits. Behind a
    // pointer, so this header does not pull in the engine's arrays.
    EngineState& engine() { return *engine_; }
    OutputSink& out() { return interp.out; }
    InputStack& input() { return interp.input; }
    bool macro_running() const { return interp.input.macro_running(); }

private:
    std::unique_ptr<EngineState> engine_;
};

} // namespace tarva
