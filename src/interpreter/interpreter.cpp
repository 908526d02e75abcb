#include "interpreter/interpreter.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

#include "commands/commands.h"
#include "interpreter/command_table.h"
#include "interpreter/macro.h"
#include "io/stop_signal.h"
#include "plot/device.h"
#include "plot/screen.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr std::size_t kLine = 40;
constexpr std::size_t kMaxMacroDepth = 9;

bool file_exists(const std::string& path) {
    if (path.find('\0') != std::string::npos) return false; // no file has such a name
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string library_dir_from_environment() {
    const char* lib = std::getenv("TARVA_LIB");
    if (!lib || !*lib) return kDefaultLibraryDir;
    std::string dir(lib);
    if (dir.back() != '/') dir.push_back('/');
    return dir;
}

// Replacement text of a marker: up to the first blank, unless the text
// begins with a blank or has none, then up to the last non-blank.
std::string_view up_to_first_blank(std::string_view text) {
    std::size_t len = last_nonblank(text);
    if (len == 0) return {};
    std::size_t b = text.find(' ');
    if (b == 0 || b == std::string_view::npos) return text.substr(0, len);
    return text.substr(0, std::min(b, len));
}

} // namespace

bool start_macro(Session& s, const std::string& name) {
    if (s.input().depth() >= kMaxMacroDepth) return false;
    if (!s.input().push_macro(name)) return false; // only regular files
    s.interp.last_macro = name;
    return true;
}

void request_exit(Session& s) { s.interp.exit_requested = true; }

bool expand_markers(const Session& s, std::string& line, std::string* substituted) {
    line = pad(line, kLine);
    // Characters that came from a substitution are protected from search.
    std::string from_text(kLine, '\0');
    bool any = false;
    auto find_marker = [&](char m) -> std::size_t {
        for (std::size_t i = 0; i < line.size(); ++i)
            if (line[i] == m && !from_text[i]) return i;
        return std::string::npos;
    };
    for (;;) {
        std::size_t p = std::string::npos;
        char marker = 0;
        for (char m : {'#', '%', '~', '|'}) {
            p = find_marker(m);
            if (p != std::string::npos) {
                marker = m;
                break;
            }
        }
        if (p == std::string::npos) break;
        any = true;
        std::string_view text;
        switch (marker) {
        case '#': text = up_to_first_blank(s.data.file_name.view()); break;
        case '%': text = up_to_first_blank(s.interp.last_macro.view()); break;
        case '~': text = trimmed(s.interp.macro_args.view().substr(0, 50)); break;
        default: text = up_to_first_blank(s.data.caption.view().substr(0, 50)); break;
        }
        if (text.empty()) {
            // A blank is no marker, so it needs no protection.
            line[p] = ' ';
            continue;
        }
        line = (line.substr(0, p) + std::string(text) + line.substr(p + 1)).substr(0, kLine);
        from_text =
            (from_text.substr(0, p) + std::string(text.size(), '\1') + from_text.substr(p + 1)).substr(0, kLine);
        line = pad(line, kLine);
        from_text.resize(kLine, '\0');
    }
    if (substituted) *substituted = std::move(from_text);
    return any;
}

std::string quote_substituted(std::string_view text, std::string_view substituted) {
    const std::size_t len = last_nonblank(text);
    std::string out;
    for (std::size_t i = 0; i < len;) {
        const bool marked = i < substituted.size() && substituted[i];
        std::size_t j = i;
        while (j < len && (j < substituted.size() && substituted[j]) == marked) ++j;
        const std::string_view piece = text.substr(i, j - i);
        if (!marked) {
            out += piece;
        } else {
            out += '\'';
            for (char c : piece) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
            out += '\'';
        }
        i = j;
    }
    return out;
}

bool prepare_line(Session& s, std::string_view raw, CommandContext& ctx, bool& expanded) {
    std::string line = pad(raw.substr(0, std::min(raw.size(), kLine)), kLine);
    left_justify(line);
    if (line[0] == '@' || line[0] == '!' || line[0] == '$')
        line = (line.substr(0, 1) + " " + line.substr(1)).substr(0, kLine);
    expanded = expand_markers(s, line, &s.interp.substituted);
    s.interp.expanded_line = line;
    ctx.line = line;
    return true;
}

void dispatch(Session& s, CommandContext& ctx) {
    std::string_view full = ctx.line.view();
    std::size_t len = full.substr(0, 7).find(' ');
    if (len == std::string_view::npos) len = 6;
    std::string_view word = full.substr(0, len);
    if (const CommandEntry* e = find_command(word)) {
        e->handler(s, ctx);
        // DATA reports a failed read through the numeric argument; a macro
        // that relies on the data must not go on.
        if (e->handler == &cmd_data && ctx.number > 1e-10 && s.macro_running()) s.input().pop_macro();
        return;
    }
    std::string file = lower(std::string(word) + ".qvc");
    std::string path;
    if (file_exists(file)) {
        path = file;
    } else if (!s.interp.macro_library.blank()) {
        std::string candidate = pad(std::string(s.interp.macro_library.trimmed()) + file, 50);
        candidate = std::string(trimmed(candidate));
        if (file_exists(candidate)) path = candidate;
    }
    if (!path.empty()) {
        std::string args(full.substr(len));
        left_justify(args);
        s.interp.macro_args = args;
        s.out().line("     Executing the login macro: " + path);
        s.out().blank_line();
        if (!start_macro(s, path)) s.out().line("? Error opening " + path + " .");
        return;
    }
    s.out().line("?" + std::string(full.substr(0, 8)));
}

CommandContext execute_line(Session& s, std::string_view raw) {
    CommandContext ctx;
    bool expanded = false;
    prepare_line(s, raw, ctx, expanded);
    if (expanded) s.out().line("(" + ctx.line.str() + ")");
    parse_command_line(ctx);
    if (ctx.line[0] != ' ') dispatch(s, ctx);
    return ctx;
}

void start_up(Session& s, std::ostream& err) {
    err << "          TARVA - V" << format_F(7.1, 4, 1) << "\n\n";
    s.interp.library_dir = library_dir_from_environment();
    std::string home(trimmed(home_directory()));
    s.interp.macro_library = home + "/bin/";
    err << " Macro library directory set to: " << s.interp.macro_library.trimmed() << "\n";
    std::string lib_help = s.interp.library_dir + "tarva.hlp";
    s.interp.help_file = file_exists(lib_help) ? lib_help : std::string(s.interp.macro_library.trimmed()) + "tarva.hlp";
    err << "               Help file set to: " << s.interp.help_file << "\n";
    err.flush();
    s.interp.function_help_file = s.interp.library_dir + "qvfun.hlp";

    std::string login = "login.qvc";
    if (!file_exists(login)) {
        login = home + "/bin/login.qvc";
        if (!file_exists(login)) return;
    }
    s.out().line("     Executing the login macro: " + login);
    s.out().blank_line();
    // The whole path is used: cutting it to the width of a command argument
    // would lose the login macro of any longer home directory.
    open_macro(s, login);
}

int run_loop(Session& s) {
    // A signal ends the loop at the next line; main then ends the run.
    while (!s.interp.exit_requested && !stop_signal()) {
        s.out().prompt("fit> ");
        auto raw = s.input().read_line();
        if (!raw) {
            if (s.macro_running())
                s.input().pop_macro();
            else
                request_exit(s);
            continue;
        }
        std::string forty = pad(std::string_view(*raw).substr(0, std::min(raw->size(), kLine)), kLine);
        if (s.macro_running()) s.out().line(forty);
        screen_mode(s, s.interp.screen_mode);
        execute_line(s, forty);
    }
    close_plot_files(s, 'S');
    s.out().flush();
    return 0;
}

// ---- commands carried out by the interpreter ----------------------------

void cmd_exit(Session& s, CommandContext&) { request_exit(s); }

void cmd_close(Session& s, CommandContext&) { close_plot_files(s, '*'); }

void cmd_comment(Session&, CommandContext&) {}

namespace {

// The line for the shell. Typed text goes as it stands; when markers put
// text into the line, those pieces are quoted (the argument's 33 columns
// taken from the expanded line, so the flags still line up).
std::string shell_line(const Session& s, const CommandContext& ctx) {
    const std::string& line = s.interp.expanded_line;
    const std::string& flags = s.interp.substituted;
    const bool any = flags.find_first_not_of('\0') != std::string::npos;
    if (!any || line.empty() || line[0] != '$' || flags.size() != line.size())
        return std::string(ctx.argument_trimmed());
    const std::size_t a = line.find_first_not_of(' ', 1);
    if (a == std::string::npos) return {};
    const std::size_t n = ctx.argument().size();
    return quote_substituted(std::string_view(line).substr(a, n), std::string_view(flags).substr(a, n));
}

} // namespace

void cmd_shell(Session& s, CommandContext& ctx) {
    s.out().flush();
    std::string command = shell_line(s, ctx);
    if (command.empty()) return;
    int rc = std::system(command.c_str());
    (void)rc;
}

void cmd_clear(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'G') {
        screen_mode(s, 'G');
        return;
    }
    s.interp.screen_mode = ctx.qualifier == ' ' ? 'A' : ctx.qualifier;
    screen_mode(s, s.interp.screen_mode);
}

void cmd_print(Session& s, CommandContext& ctx) {
    s.out().line("Ready to print....macro: " + std::string(ctx.argument()));
    CommandContext draw;
    std::string line = pad("DR", kLine);
    line[7] = ctx.qualifier == ' ' ? 'Q' : ctx.qualifier;
    draw.line = line;
    draw.qualifier = 'T';
    draw.number = ctx.number;
    cmd_draw(s, draw);
}

void cmd_hold(Session& s, CommandContext& ctx) {
    std::ostream& term = s.out().terminal();
    term << "\n " << ctx.argument() << "\n Holding.....  Press CR to continue > ";
    term.flush();
    (void)s.input().read_keyboard();
}

void cmd_file_query(Session& s, CommandContext&) {
    if (s.data.file_name.blank())
        s.out().line("No data file current");
    else
        s.out().line("Data file: " + std::string(s.data.file_name.trimmed()));
}

void cmd_echo(Session& s, CommandContext& ctx) {
    if (ctx.qualifier != 'D') {
        s.out().close_log();
        return;
    }
    std::string name(ctx.argument_trimmed());
    if (name.empty()) name = "tarva.log";
    errno = 0;
    if (!s.out().open_log(name)) {
        int status = errno ? errno : 1;
        s.out().line(format_I(status, 4) + " Unable to open and write to " + name + " for output.");
        s.out().blank_line();
        return;
    }
    s.out().line(" tarva log file.....");
}

} // namespace tarva
