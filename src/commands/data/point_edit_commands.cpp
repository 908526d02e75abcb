// MODIFY, ELIMIN, VALUES and CAPTIO: single points, the points outside the
// last plot's X range, the point listing, and the caption and axis labels.
#include <algorithm>
#include <array>
#include <cmath>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

// Moves points [from, count) down to start at `to` and shortens the set.
void remove_points(DataSet& d, int to, int from) {
    for (int i = from, j = to; i < d.count; ++i, ++j) {
        d.X[static_cast<std::size_t>(j)] = d.X[static_cast<std::size_t>(i)];
        d.Y[static_cast<std::size_t>(j)] = d.Y[static_cast<std::size_t>(i)];
        d.SIGMA[static_cast<std::size_t>(j)] = d.SIGMA[static_cast<std::size_t>(i)];
    }
    d.count -= from - to;
}

// The point number from the argument, or asked for; 0 when none is given.
int point_number(Session& s, const CommandContext& ctx) {
    int k = round_nearest(ctx.number);
    if (k >= 1) return k;
    double a = k, unused = 0.0;
    if (!ask_number_pair(s, "Data point number to modify > ", a, unused)) return 0;
    return round_nearest(a);
}

// Asks for new X, Y, SIGMA of point k (1-based). Values left out keep their
// old ones: an empty answer, fewer than three values, empty items between
// commas, or a "/" before the end.
void edit_point(Session& s, int k) {
    DataSet& d = s.data;
    const auto i = static_cast<std::size_t>(k - 1);
    // Three columns hold the point numbers up to 999; the last 25 need four.
    const std::string prompt = "Point " + format_I(k, k > 999 ? 4 : 3) + ": X=" + format_G(d.X[i], 13, 5, 1) +
                               " Y=" + format_G(d.Y[i], 13, 5, 1) + " Sigma=" + format_G(d.SIGMA[i], 13, 5, 1) +
                               " New > ";
    std::array<double, 3> v{d.X[i], d.Y[i], d.SIGMA[i]};
    const auto read = ask_until(s, prompt, [&](const std::string& line) -> std::optional<bool> {
        if (read_list(line, v)) return true;
        v = {d.X[i], d.Y[i], d.SIGMA[i]};
        return std::nullopt;
    });
    if (!read) return;
    d.X[i] = static_cast<float>(v[0]);
    d.Y[i] = static_cast<float>(v[1]);
    d.SIGMA[i] = static_cast<float>(v[2]);
    if (s.macro_running()) s.out().raw(free_real(v[0]) + free_real(v[1]) + free_real(v[2]) + "\n");
}

// The dialogue of CAPTIO on one text: shows it, asks for the new text.
// Nothing when the answer is all blank (or input ended).
std::optional<std::string> ask_title(Session& s, std::string_view current, bool append) {
    s.out().line("                 Current title");
    s.out().line(current.empty() ? std::string_view(" ") : current);
    s.out().line(append ? "                 String to be appended" : "                 New title (<CR> to retain)");
    auto answer = ask_text(s, "> ", 100);
    if (!answer) return std::nullopt;
    // A TAB first blanks the text: the one way to ask for an empty title.
    if ((*answer)[0] == '\t' && !append) return std::string();
    if (last_nonblank(*answer) == 0) return std::nullopt;
    return answer;
}

} // namespace

void cmd_modify(Session& s, CommandContext& ctx) {
    const int k = point_number(s, ctx);
    if (k < 1) return;
    DataSet& d = s.data;
    if (ctx.qualifier == 'D') {
        if (k > d.count) return;
        remove_points(d, k - 1, k);
        s.out().line("Data point " + format_I(k, 4) + " deleted.");
        s.out().blank_line();
        return;
    }
    if (ctx.qualifier == 'F') {
        if (k > d.count) return;
        remove_points(d, 0, k);
        s.out().line("First " + format_I(k, 4) + " data points deleted.");
        s.out().blank_line();
        return;
    }
    int target = k;
    if (k > d.count) {
        if (d.count >= kMaxPoints) {
            s.out().line("Data set full (1024 points), no point added.");
            s.out().blank_line();
            return;
        }
        const auto i = static_cast<std::size_t>(d.count);
        d.X[i] = d.Y[i] = d.SIGMA[i] = 0.0f;
        target = ++d.count;
    }
    edit_point(s, target);
}

void cmd_eliminate(Session& s, CommandContext&) {
    const double lo = s.graphics.xmin, hi = s.graphics.xmax;
    if (!(hi > lo)) {
        s.out().line("X-range zero or XMAX less than XMIN.\x07");
        return;
    }
    s.out().line("Eliminating points with X less than " + format_G(lo, 12, 5, 1));
    s.out().line("or greater than " + format_G(hi, 12, 5, 1));
    DataSet& d = s.data;
    int kept = 0;
    for (int i = 0; i < d.count; ++i) {
        const auto from = static_cast<std::size_t>(i);
        const double x = d.X[from];
        if (x < lo || x > hi) continue;
        const auto to = static_cast<std::size_t>(kept++);
        d.X[to] = d.X[from];
        d.Y[to] = d.Y[from];
        d.SIGMA[to] = d.SIGMA[from];
    }
    s.out().line(format_I(d.count - kept, 4) + " points removed from data file.");
    s.out().line("NOT DEBUGGED.");
    d.count = kept;
}

void cmd_values(Session& s, CommandContext& ctx) {
    const DataSet& d = s.data;
    if (d.log_scale_y) {
        s.out().line("Y axis interpreted as a log scale.");
        s.out().blank_line();
    }
    if (d.log_y) s.out().line("Log has been taken of y coordinates, errors are still linear.");
    if (d.log_scale_x) {
        s.out().line("X axis interpreted as a log scale.");
        s.out().blank_line();
    }
    if (d.log_x) s.out().line("Log has been taken of x coordinates.");
    s.out().line(" ( N  )       X             Y        SIGMA");
    s.out().blank_line();
    int n = d.count;
    if (ctx.number > 0) n = std::min(round_nearest(ctx.number), d.count);
    for (int i = 1; i <= n; ++i) {
        const auto j = static_cast<std::size_t>(i - 1);
        s.out().line(format_I(i, 4) + "  " + format_G(d.X[j], 13, 5, 1) + "," + format_G(d.Y[j], 13, 5, 1) + "," +
                     format_G(d.SIGMA[j], 13, 5, 1));
    }
}

void cmd_caption(Session& s, CommandContext& ctx) {
    DataSet& d = s.data;
    const char q = ctx.qualifier;
    FixedText<100>& text = q == 'X' ? d.x_label : q == 'Y' ? d.y_label : d.caption;
    const bool append = q == 'A';
    auto answer = ask_title(s, text.trimmed(), append);
    if (!answer) return;
    text = append ? std::string(text.trimmed()) + *answer : *answer;
}

} // namespace tarva
