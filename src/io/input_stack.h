// The sources that command lines and dialogue answers are read from: the
// keyboard at the bottom and one level per running macro file above it.
#pragma once

#include <fstream>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarva {

// Longest record kept from one input line; the rest of a longer line is
// read and dropped, so no line can exhaust memory.
inline constexpr std::size_t kMaxRecord = 4096;

// Reads one record from a stream: up to the line end, a trailing CR
// dropped, at most kMaxRecord characters kept. nullopt at end of input; a
// read error ends the input as well, leaving the stream bad.
std::optional<std::string> read_record(std::istream& in);

struct MacroLevel {
    std::string name;
    std::unique_ptr<std::ifstream> file;
    // REWIND count of this level: 0 when the macro starts. Each level keeps
    // its own, so a loop in an outer macro that starts an inner one still
    // counts its own repetitions when the inner one ends.
    int loop_counter = 0;
};

class InputStack {
public:
    explicit InputStack(std::istream& keyboard) : keyboard_(&keyboard) {}

    // Reads the next record from the top of the stack (the innermost macro,
    // or the keyboard when none runs). nullopt at end of file or read error;
    // the level is not popped here.
    std::optional<std::string> read_line();
    // Always from the keyboard (HOLD).
    std::optional<std::string> read_keyboard();

    bool macro_running() const { return !macros_.empty(); }
    std::size_t depth() const { return macros_.size(); }
    const std::string& top_name() const { return macros_.back().name; }

    // Pushes an opened macro file. Returns false when it cannot be opened.
    bool push_macro(const std::string& path);
    // Closes and pops the innermost macro (no-op at the keyboard).
    void pop_macro();
    // Rewinds the innermost macro to its first line.
    void rewind_macro();
    // The REWIND count of the innermost macro (only while one runs).
    int& loop_counter() { return macros_.back().loop_counter; }
    void close_all();

    // While set, every line read from any level is also appended here (LABEL
    // keeps its answers so OUT can replay them).
    void record_answers(std::vector<std::string>* into) { recorder_ = into; }

    // Interactive line editing for the keyboard level (set by main when
    // standard input is a terminal). Called with the pending prompt text.
    std::function<std::optional<std::string>()> keyboard_reader;
    // Called before a read from the keyboard would wait, so a pending
    // prompt reaches the user first.
    std::function<void()> before_keyboard_wait;
    // Set while the answer being read names a file (FileNameAnswer): TAB
    // at the keyboard then completes file names.
    bool file_name_answer = false;

private:
    std::optional<std::string> read_top();
    std::istream* keyboard_;
    std::vector<std::string>* recorder_ = nullptr;
    std::vector<MacroLevel> macros_;
};

// Marks the answers read while it lives as file names.
class FileNameAnswer {
public:
    explicit FileNameAnswer(InputStack& in) : in_(in), before_(in.file_name_answer) { in.file_name_answer = true; }
    ~FileNameAnswer() { in_.file_name_answer = before_; }
    FileNameAnswer(const FileNameAnswer&) = delete;
    FileNameAnswer& operator=(const FileNameAnswer&) = delete;

private:
    InputStack& in_;
    bool before_;
};

} // namespace tarva
