#include "commands/graphics/annotation.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "commands/command_context.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

bool picture_current(Session& s) {
    if (s.draw.picture_drawn) return true;
    s.out().line("No plot current!");
    return false;
}

bool ask_region(Session& s, Region& r) {
    double xl = 0.0, yl = 0.0, xh = 0.0, yh = 0.0;
    if (!ask_number_pair(s, "    Lower left corner of region (Xl,Yl) > ", xl, yl)) return false;
    if (!ask_number_pair(s, "   Upper right corner of region (Xh,Yh) > ", xh, yh)) return false;
    r = {to_coordinate(xl), to_coordinate(yl), to_coordinate(xh), to_coordinate(yh)};
    return true;
}

LetterAndNumber letter_and_number(const CommandContext& ctx) {
    const std::string_view arg = ctx.argument_trimmed();
    auto is_sep = [](char c) { return c == ' ' || c == ','; };
    std::size_t end = 0;
    while (end < arg.size() && !is_sep(arg[end])) ++end;
    const std::string_view first = arg.substr(0, end);
    if (first.empty() || read_real_field(first)) return {' ', ctx.number};
    LetterAndNumber r;
    r.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(first[0])));
    std::size_t from = end;
    while (from < arg.size() && is_sep(arg[from])) ++from;
    std::size_t to = from;
    while (to < arg.size() && !is_sep(arg[to])) ++to;
    if (to > from) {
        if (auto v = read_real_field(arg.substr(from, to - from))) r.number = *v;
    }
    return r;
}

float plot_unit_ratio(const Session& s) {
    float ux = 0.0f, uy = 0.0f;
    plot_unit_size(s, ux, uy);
    const float ratio = uy / ux;
    return std::isfinite(ratio) && ratio != 0.0f ? ratio : 1.0f;
}

void draw_on_last_picture(Session& s, const Strokes& strokes) { plot_strokes(s, s.draw.last_device, strokes); }

} // namespace tarva
