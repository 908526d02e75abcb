// DATA, LOAD, MAKE and SAVE: the file-name dialogue around the data-file
// readers and the writer.
#include <algorithm>
#include <fstream>
#include <sys/stat.h>

#include "commands/commands.h"
#include "dataset/import/instrument_import.h"
#include "files/data_file.h"
#include "files/list_reader.h"
#include "session/dialogue.h"
#include "session/next_file_name.h"
#include "text/format.h"
#include "text/regular_file.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

enum class NameStatus { Ok, Failed, Ended };

// The name on the command line (first `width` characters of the argument),
// or the macro arguments when it is blank and a macro runs.
std::string name_from_line(Session& s, const CommandContext& ctx, std::size_t width) {
    std::string name(trim(ctx.argument().substr(0, width)));
    if (name.empty() && s.macro_running()) name = std::string(trim(s.interp.macro_args.view()));
    return name;
}

bool is_next(std::string_view name, bool any_case) {
    if (name.size() < 4) return false;
    const std::string_view head = name.substr(0, 4);
    if (any_case) return upper(head) == "NEXT";
    return head == "NEXT" || head == "next";
}

// NEXT: the current data file name stepped to the next file of its series
// (the current file itself when the series ends there). False when there is
// no data file name to step.
bool step_to_next(Session& s, std::string& name) {
    name = stepped_data_file_name(s);
    return !name.empty();
}

// The prompt of DATA and LOAD. A name beginning with "?" asks at the
// terminal even while a macro runs or a log file takes the output: the
// prompt goes to the terminal itself and the answer comes from the
// keyboard, not echoed.
NameStatus ask_input_name(Session& s, std::string& name, bool at_terminal) {
    const std::string current(s.data.file_name.trimmed());
    const std::string prompt =
        current.empty() ? std::string("Filename for input > ") : "Filename for input (" + current + ") > ";
    std::optional<std::string> answer;
    if (at_terminal) {
        if (s.out().logging()) {
            std::ostream& term = s.out().terminal();
            term << ' ' << prompt;
            term.flush();
        } else {
            s.out().prompt(prompt);
        }
        const FileNameAnswer file_name(s.input());
        auto line = s.input().read_keyboard();
        if (!line) {
            s.interp.exit_requested = true;
            return NameStatus::Ended;
        }
        answer = pad(std::string_view(*line).substr(0, std::min<std::size_t>(line->size(), 80)), 80);
    } else {
        answer = ask_file_name(s, prompt, 80);
        if (!answer) return NameStatus::Ended;
    }
    name = std::string(trim(*answer));
    if (name.empty()) name = current;
    return name.empty() ? NameStatus::Failed : NameStatus::Ok;
}

// Steps 1, 2 and 4 of the dialogue shared by DATA and LOAD.
NameStatus input_name(Session& s, const CommandContext& ctx, bool always_ask, std::string& name) {
    name = name_from_line(s, ctx, 33);
    if (name.empty() || name[0] == '?' || always_ask) {
        const NameStatus st = ask_input_name(s, name, !name.empty() && name[0] == '?');
        if (st != NameStatus::Ok) return st;
    }
    if (is_next(name, false) && !step_to_next(s, name)) return NameStatus::Failed;
    return NameStatus::Ok;
}

void add_extension(std::string& name, std::string_view extension) {
    if (name.find('.') == std::string::npos) name += extension;
}

// Existence test and open of DATA and LOAD. Only regular files are read: a
// directory or a device would give no records or never end.
bool open_input(Session& s, const std::string& name, std::ifstream& file) {
    struct stat st {};
    if (name.find('\0') != std::string::npos || ::stat(name.c_str(), &st) != 0) {
        s.out().line(name + " does not exist.");
        return false;
    }
    if (!open_regular(file, name)) {
        s.out().line("Unable to open " + name);
        s.out().blank_line();
        return false;
    }
    return true;
}

bool spectrum_name(std::string_view name) {
    for (std::string_view mark : {".RBS", ".rbs", ".PIX", ".pix", ".MCA", ".mca", "*", "&"})
        if (name.find(mark) != std::string_view::npos) return true;
    return false;
}

// DATA reads a file as described whatever it holds; one that carries the
// marks of a spectrum layout IMPORT reads gets one more line saying so.
// Plain tables are never pointed at IMPORT (data files are tables too).
void point_to_import(Session& s, const std::string& name) {
    std::ifstream in;
    if (!open_regular(in, name)) return;
    std::string head(64 * 1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const std::string layout = spectrum_layout_of(head);
    if (!layout.empty()) s.out().line("IMPORT " + name + " reads this file (" + layout + ").");
}

bool is_data_qualifier(char q) {
    return q == 'A' || q == 'N' || q == 'F' || q == 'S' || q == '+' || q == 'D' || q == 'M';
}

void print_table_menu(Session& s) {
    OutputSink& out = s.out();
    out.blank_line();
    out.blank_line();
    out.line("                   Format of file");
    out.blank_line();
    out.line("           Format          No. of dimensions");
    out.line("           (X,Y,deltaY)            3");
    out.line("           (X,Y)                   2");
    out.line("           (Y)                     1");
    out.line("           (X,Y,Y1,Y2,..Yn,delY)   n+3");
    out.line("           (Y1,Y2,Y3,...,Yn)       -n");
    out.line("           n(Xm,Y1,Y2,...,Y8)      8");
    out.line("           Optical data            4");
    out.line("           (X,dum,Y)               5");
    out.blank_line();
}

} // namespace

void cmd_data(Session& s, CommandContext& ctx) {
    ctx.number = 0.0;
    std::string name;
    const NameStatus st = input_name(s, ctx, false, name);
    if (st == NameStatus::Ended) return;
    if (st == NameStatus::Failed) {
        ctx.number = 1.0;
        return;
    }
    if (spectrum_name(name)) {
        // The spectrum reader does all the work on the same command line.
        // It always reads: DATA's qualifiers mean other things to MCA (S and
        // A would write over the very file named).
        ctx.line = pad("MCA", 7) + name;
        ctx.qualifier = ' ';
        cmd_mca(s, ctx);
        // The name MCA opened: as given, or with ".mca" added.
        point_to_import(s, is_regular_file(name) || name.find('.') != std::string::npos ? name : name + ".mca");
        return;
    }
    add_extension(name, ".fit");
    std::ifstream file;
    if (!open_input(s, name, file)) {
        ctx.number = 1.0;
        return;
    }
    if (!is_data_qualifier(ctx.qualifier)) s.data.file_name = name;
    s.out().line("Reading new data from: " + name);
    s.data.spectrum_loaded = 0;
    RecordReader in(file);
    if (!read_data_file(in, name, ctx.qualifier, s.data, s.fit, s.out())) ctx.number = 1.0;
    point_to_import(s, name);
}

void cmd_load(Session& s, CommandContext& ctx) {
    const int column = std::max(1, round_nearest(ctx.number));
    if (column > kMaxLoadColumn) {
        s.out().line("Column number must be between 1 and 20.");
        ctx.number = 1.0;
        return;
    }
    std::string name;
    const NameStatus st = input_name(s, ctx, ctx.qualifier == 'A', name);
    if (st == NameStatus::Ended) return;
    if (st == NameStatus::Failed) {
        ctx.number = 1.0;
        return;
    }
    add_extension(name, ".d");
    std::ifstream file;
    if (!open_input(s, name, file)) {
        ctx.number = 1.0;
        return;
    }
    s.data.file_name = name;
    s.out().line("Reading data in column " + format_I(column, 2) + " from: " + name);
    s.data.spectrum_loaded = 0;
    RecordReader in(file);
    ctx.number = read_column_file(in, name, column, s.data, s.out()) ? 0.0 : 1.0;
}

void cmd_make(Session& s, CommandContext& ctx) {
    std::string name = name_from_line(s, ctx, 30);
    if (name.empty()) {
        auto answer = ask_file_name(s, "Filename of data points > ", 30);
        if (!answer) return;
        name = std::string(trim(*answer));
        if (name.empty()) return;
    }
    if (is_next(name, true) && !step_to_next(s, name)) {
        ctx.number = 1.0;
        return;
    }
    std::ifstream file;
    for (;;) {
        if (open_regular(file, name)) break;
        s.out().line("?QVMAKE- Can't open file " + name);
        auto answer = ask_file_name(s, "Filename for input > ", 30);
        if (!answer) return;
        name = std::string(trim(*answer));
        if (name.empty()) return;
    }
    begin_table(name, s.data, s.fit);
    // A table is ordinary data, whatever was loaded before.
    s.data.spectrum_loaded = 0;
    int code = 0;
    const char q = ctx.qualifier;
    if (q == '1' || q == '2' || q == '3' || q == '4' || q == '8') {
        code = q - '0';
    } else {
        print_table_menu(s);
        auto answer = ask_real(s, "Number of dimensions (CR for 3) > ");
        if (!answer) return;
        code = table_code_from_answer(*answer);
    }
    RecordReader in(file);
    ctx.number = read_table(in, name, code, s.data, s.out()) ? 0.0 : 1.0;
}

void cmd_save(Session& s, CommandContext& ctx) {
    if (s.data.count <= 0) {
        s.out().line("No data!\x07");
        return;
    }
    std::string name(trim(ctx.argument().substr(0, 30)));
    if (name.empty()) {
        const std::string current(s.data.file_name.trimmed());
        std::string fallback;
        if (!current.empty()) {
            const std::size_t dot = current.find('.');
            fallback = dot == std::string::npos ? current + ".fit" : current.substr(0, dot + 1) + "fit";
        }
        const std::string prompt = fallback.empty() ? std::string("Filename for output > ")
                                                    : "Filename for output (CR for " + fallback + ") > ";
        auto answer = ask_file_name(s, prompt, 30);
        if (!answer) return;
        name = std::string(trim(*answer));
        if (name.empty()) name = fallback;
        if (name.empty()) {
            s.out().line("No default data file name.");
            s.out().blank_line();
            return;
        }
    }
    add_extension(name, ".fit");
    const std::string text = data_file_text(s.data, s.fit, s.models);
    int error = 0;
    switch (replace_file(name, text, &error)) {
    case ReplaceStatus::OpenFailed:
        s.out().line("Unable to open " + name + " for output... data not saved.");
        s.out().blank_line();
        return;
    case ReplaceStatus::WriteFailed:
        // The earlier file, if any, is still there unchanged.
        s.out().line("Unable to write " + name + " completely... data not saved.");
        s.out().blank_line();
        return;
    case ReplaceStatus::Ok: break;
    }
    s.out().line("Data saved in file " + name);
    s.out().blank_line();
    s.data.file_name = name;
    if (s.data.dimensions > 0) {
        s.out().line("> This option no longer supported.");
        s.out().line("> If you get this error message, your original data file may have been corrupt!");
        s.out().line("> Setting the number of dimensions to 0.");
        s.data.dimensions = 0;
    }
    if (s.data.dimensions < 0) s.data.dimensions = 0;
}

} // namespace tarva
