// Macro files: "@" (start or end a macro), REWIND, MACRO (the macro library
// directory) and OUT (extend a macro file with the stored label commands).
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "commands/commands.h"
#include "commands/control/macro.h"
#include "session/dialogue.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

constexpr std::size_t kMaxMacroDepth = 9;

// Whether a name may be tried as a file. Only a definite "no such file"
// counts as missing; any other failure of the test is left to the open,
// which then reports it.
bool may_exist(const std::string& name) {
    if (name.find('\0') != std::string::npos) return false; // no file has such a name
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) return true;
    return errno != ENOENT && errno != ENOTDIR;
}

// Left-justified by the interpreter's own rule (leading blanks only), so OUT
// stops at the same "@" line that ends the macro when it runs.
std::string left_justified_trimmed(std::string_view text) {
    std::string t(text);
    left_justify(t);
    return std::string(trimmed(t));
}

// Reads a whole open file; false on a read error.
bool read_all(int fd, std::string& contents) {
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        contents.append(buf, static_cast<std::size_t>(n));
    }
}

// A line that, left-justified, holds "@" alone (only its first 132
// characters are looked at, a trailing CR ignored).
bool is_end_line(std::string_view line) {
    line = line.substr(0, std::min<std::size_t>(line.size(), 132));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return left_justified_trimmed(line) == "@";
}

// Where OUT starts writing: the first "@" line, or the end of the file.
struct ScanResult {
    std::size_t stop = 0;        // byte offset of that place
    int lines_before = 0;        // lines kept in front of it
    bool needs_line_end = false; // the kept text ends without a line end
};

ScanResult scan_macro_text(std::string_view text) {
    ScanResult r;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
        if (is_end_line(line)) {
            r.stop = start;
            return r;
        }
        ++r.lines_before;
        if (end == std::string_view::npos) {
            r.needs_line_end = true;
            break;
        }
        start = end + 1;
    }
    r.stop = text.size();
    return r;
}

} // namespace

bool start_macro(Session& s, const std::string& name) {
    if (s.input().depth() >= kMaxMacroDepth) return false;
    if (!s.input().push_macro(name)) return false; // only regular files
    s.interp.last_macro = name;
    return true;
}

void request_exit(Session& s) { s.interp.exit_requested = true; }

bool open_macro(Session& s, std::string name) {
    name = std::string(trimmed(name));
    if (name.find('.') == std::string::npos) {
        if (name.size() > kMaxMacroStem) {
            s.out().line("Macro name too long.");
            return false;
        }
        name += ".qvc";
    }
    if (!may_exist(name)) {
        s.out().line(name + " does not exist.");
        s.out().blank_line();
        return false;
    }
    if (!start_macro(s, name)) {
        s.out().line("? Error opening " + name + " .");
        return false;
    }
    return true;
}

void cmd_at(Session& s, CommandContext& ctx) {
    std::string_view arg = ctx.argument();
    if (s.macro_running() && last_nonblank(arg) == 0) {
        s.input().pop_macro();
        return;
    }
    std::string name(arg.substr(0, std::min(arg.find(' '), arg.size())));
    if (name.empty()) {
        // Asked of the user even while a macro runs (a numeric argument
        // such as "@ 2010" leaves no name).
        s.out().prompt("Macro file name > ");
        const FileNameAnswer file_name(s.input());
        auto answer = s.input().read_keyboard();
        if (!answer) {
            if (!s.macro_running()) request_exit(s);
            return;
        }
        name = left_justified_trimmed(pad(*answer, 30));
        if (name.empty()) return;
    }
    open_macro(s, name);
}

void cmd_rewind(Session& s, CommandContext& ctx) {
    if (!s.macro_running()) {
        s.out().line("No macro active.");
        s.out().blank_line();
        return;
    }
    int n = round_nearest(ctx.number);
    int& counter = s.input().loop_counter();
    ++counter;
    if (n < counter)
        s.input().pop_macro();
    else
        s.input().rewind_macro();
}

void cmd_macro(Session& s, CommandContext& ctx) {
    FixedText<80>& dir = s.interp.macro_library;
    if (dir.blank()) {
        s.out().line("Macro directory not set");
        return;
    }
    std::string_view arg = ctx.argument();
    if (last_nonblank(arg) != 0) {
        dir = arg;
        s.out().line("Macro directory set to: " + std::string(dir.trimmed()));
    } else {
        s.out().line("Macro directory is: " + std::string(dir.trimmed()));
    }
    if (ctx.qualifier == 'C') {
        dir = "";
        s.out().line("Macro directory cleared.");
    }
}

void cmd_out(Session& s, CommandContext& ctx) {
    std::string& previous = s.interp.out_previous_name;
    auto aborted = [&] {
        s.out().line("Command aborted.");
        s.out().blank_line();
    };
    std::string name(ctx.argument_trimmed());
    if (name.empty()) {
        if (!previous.empty()) {
            auto answer = ask_file_name(s, "Macro filename for output (NL for " + previous + ") > ", 100);
            if (!answer) return;
            name = last_nonblank(*answer) != 0 ? left_justified_trimmed(*answer) : previous;
        } else {
            auto answer = ask_file_name(s, "Macro filename for output > ", 100);
            if (!answer) return;
            name = left_justified_trimmed(*answer);
            if (name.empty()) {
                aborted();
                return;
            }
        }
    }
    int fd = -1;
    for (;;) {
        if (name.empty()) {
            s.out().line("Error in macro filename, command aborted.");
            s.out().blank_line();
            return;
        }
        if (name.find(".qvc") == std::string::npos) name += ".qvc";
        // The file must exist as a regular file and be writable; it is read
        // here and replaced as a whole afterwards.
        fd = name.find('\0') != std::string::npos ? -1 : ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) break;
            ::close(fd); // a device or pipe is no macro file
        }
        auto answer = ask_file_name(s, "Unable to open " + name + ", macro filename for output > ", 100);
        if (!answer) return;
        name = left_justified_trimmed(*answer);
        if (name.empty()) {
            aborted();
            return;
        }
    }
    // The file offered by the next OUT without a name.
    previous = name;
    std::string contents;
    const bool read_ok = read_all(fd, contents);
    ::close(fd);
    if (!read_ok) {
        // Nothing is written over a file that could not be read to the end.
        s.out().line("Error in " + name + " at line " + format_I(scan_macro_text(contents).lines_before + 1, 4));
        s.out().blank_line();
        aborted();
        return;
    }
    ScanResult scan = scan_macro_text(contents);
    contents.resize(scan.stop);
    if (scan.needs_line_end) contents.push_back('\n');
    int count = scan.lines_before;
    for (const std::string& label : s.interp.labels) {
        std::string text = left_justified_trimmed(label);
        if (text.empty()) text = " ";
        contents += text;
        contents.push_back('\n');
        ++count;
    }
    contents += "@\n";
    ++count;
    // Through a checked temporary file: a failed write leaves the macro
    // file as it was.
    if (replace_file(name, contents) != ReplaceStatus::Ok) {
        s.out().line("Unable to write " + name + ", macro file not changed.");
        s.out().blank_line();
        return;
    }
    s.out().line("Macro file " + name + " extended to " + format_I(count, 3) + " lines.");
    s.out().blank_line();
}

} // namespace tarva
