// The commands of the program's own control: EXIT, CLOSE, "!", "$", CLEAR,
// PRINT, HOLD, F? and ECHO.
#include "commands/control/control.h"

#include <cerrno>
#include <cstdlib>

#include "commands/commands.h"
#include "commands/control/macro.h"
#include "plot/device.h"
#include "plot/screen.h"
#include "text/format.h"

namespace tarva {

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
    std::string line = pad("DR", draw.line.size());
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
