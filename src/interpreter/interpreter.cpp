#include "interpreter/interpreter.h"

#include <cstdlib>
#include <sys/stat.h>

#include "commands/command_table.h"
#include "commands/commands.h"
#include "commands/control/macro.h"
#include "io/stop_signal.h"
#include "plot/device.h"
#include "plot/screen.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr std::size_t kLine = 40;

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

// The commands that read a data file or spectrum and report a failed read
// through the numeric argument.
bool is_reader(CommandHandler h) {
    return h == &cmd_data || h == &cmd_load || h == &cmd_make || h == &cmd_mca || h == &cmd_pha;
}

} // namespace

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
        if (ctx.number > 1e-10 && is_reader(e->handler)) {
            ++s.interp.failed_reads;
            if (e->handler == &cmd_data && s.macro_running()) s.input().pop_macro();
        }
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
    if (s.interp.unknown_words++ == 0) s.interp.first_unknown_word = word;
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

} // namespace tarva
