// STIPPL and HATCH: dots or parallel lines over a region of the last
// picture.
#include <algorithm>
#include <cmath>

#include "commands/commands.h"
#include "commands/graphics/annotation.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/fixed_text.h"

namespace tarva {

namespace {

constexpr int kDefaultStipples = 100;
const std::string kIndent(20, ' ');

// The rounded stipple count, limited so that a huge number cannot overflow.
int stipple_count(double v) {
    if (!(v > -1e9)) return 0;
    return round_nearest(std::min(v, 1e9));
}

} // namespace

void cmd_stipple(Session& s, CommandContext& ctx) {
    if (!picture_current(s)) return;
    const bool regular = ctx.qualifier == 'R';
    const LetterAndNumber arg = letter_and_number(ctx);
    const bool outline = arg.letter == 'E';
    s.out().line(kIndent + "Stipple a region of the plot.");
    if (regular) s.out().line("Regular stipple selected, enter only the x-limits.");
    Region r{};
    if (!ask_region(s, r)) return;
    int n = stipple_count(arg.number);
    if (n < 1) {
        auto typed = ask_real(s, "    Number of stipples (CR for default) > ");
        if (!typed) return;
        n = stipple_count(*typed);
        if (n == 0) n = kDefaultStipples;
    }

    Strokes steps;
    if (regular) {
        const DrawSettings& d = s.draw;
        const std::span<const float> x(s.data.X.data(), static_cast<std::size_t>(std::max(s.data.count, 0)));
        const std::span<const float> y(s.data.Y.data(), x.size());
        float e = 0.0f;
        if (n > 0)
            e = std::fabs(d.old_ymax - d.old_ymin) / static_cast<float>(n);
        else if (x.size() >= 2)
            e = std::fabs(x[1] - x[0]) * plot_unit_ratio(s);
        steps = regular_stipple(x, y, r.xl, r.xh, e, outline);
    } else {
        if (outline) steps = rectangle_outline(r);
        const Strokes dots = random_stipple(r, n, s.draw.stipple_random);
        steps.insert(steps.end(), dots.begin(), dots.end());
    }
    draw_on_last_picture(s, steps);
    end_plot(s, s.draw.last_device);
}

void cmd_hatch(Session& s, CommandContext& ctx) {
    if (!picture_current(s)) return;
    s.out().line(kIndent + "Hatch a region of the plot.");
    Region r{};
    if (!ask_region(s, r)) return;
    auto spacing = ask_real(s, "Hatch spacing (in units of the X-axis) > ");
    if (!spacing) return;
    auto angle = ask_real(s, "                 Hatch angle to X-axis > ");
    if (!angle) return;

    const char device = s.draw.last_device;
    if (ctx.qualifier == 'E') draw_on_last_picture(s, rectangle_outline(r));
    const float a = static_cast<float>(std::clamp(*spacing, -1e30, 1e30));
    const float degrees = static_cast<float>(std::clamp(*angle, -1e6, 1e6));
    s.graphics.line_style = s.draw.line_style;
    draw_on_last_picture(s, hatch_lines(r, a, degrees, plot_unit_ratio(s)));
    s.graphics.line_style = 0;
    end_plot(s, device);
}

} // namespace tarva
