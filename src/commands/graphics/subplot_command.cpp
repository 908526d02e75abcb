// SUBPLO: a drawing read from a subplot file (".sub") placed on the last
// picture: a title line, stroke records "x y pen" in plot units ending with
// pen 1, then label groups (position, angle, height, text) to the end.
#include <algorithm>
#include <cmath>
#include <fstream>

#include "commands/commands.h"
#include "commands/graphics/annotation.h"
#include "files/list_reader.h"
#include "graphics/text.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/fixed_text.h"
#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

constexpr std::size_t kNameWidth = 30;
constexpr std::size_t kTextWidth = 100;

// Where the subplot goes: its origin in world units and the size of one of
// its units along X and Y.
struct Placement {
    double x0 = 0.0, y0 = 0.0;
    double sx = 1.0, sy = 1.0;
    float x(double u) const { return to_coordinate(x0 + u * sx); }
    float y(double v) const { return to_coordinate(y0 + v * sy); }
};

std::string file_name(Session& s, const CommandContext& ctx) {
    std::string_view arg = ctx.argument_trimmed();
    arg = arg.substr(0, std::min(arg.find(' '), arg.size()));
    std::string name(arg);
    if (name.empty()) {
        auto typed = ask_file_name(s, "Filename containing subplot > ", kNameWidth);
        if (!typed) return {};
        name = std::string(trimmed(*typed));
    }
    if (!name.empty() && name.find('.') == std::string::npos) name += ".sub";
    return name;
}

// Stroke records up to the one with pen 1. False when the file ended or a
// record did not read.
bool draw_strokes(Session& s, RecordReader& in, const Placement& at) {
    const char device = s.draw.last_device;
    bool first = true;
    for (;;) {
        double v[3] = {0.0, 0.0, 0.0};
        if (read_reals(in, v) != ReadStatus::Ok) return false;
        const int pen = round_nearest(v[2]);
        if (pen == 1) return true;
        plot_pen(s, device, at.x(v[0]), at.y(v[1]), first || pen == 3 ? 3 : 2);
        first = false;
    }
}

// One number from a record of its own; a blank record keeps `value`.
bool read_single(RecordReader& in, double& value) {
    std::string record;
    if (in.next(record) != ReadStatus::Ok) return false;
    if (last_nonblank(record) == 0) return true;
    double v[1] = {value};
    if (!read_list(record, v)) return false;
    value = v[0];
    return true;
}

void draw_labels(Session& s, RecordReader& in, const Placement& at, double scale) {
    const char device = s.draw.last_device;
    for (;;) {
        double pos[2] = {0.0, 0.0};
        if (read_reals(in, pos) != ReadStatus::Ok) return;
        double angle = 1.0, height = 0.0;
        if (!read_single(in, angle) || !read_single(in, height)) return;
        std::string text;
        if (in.next(text) != ReadStatus::Ok) return;
        const std::string_view cut = trimmed(std::string_view(text).substr(0, kTextWidth));
        const std::string label = cut.empty() ? std::string(1, ' ') : std::string(cut);
        const double size = std::clamp(height * 0.75 * scale, -1e6, 1e6);
        draw_text(s, device, at.x(pos[0]), at.y(pos[1]), static_cast<float>(size),
                  static_cast<float>(std::clamp(angle, -1e6, 1e6)), label);
    }
}

} // namespace

void cmd_subplot(Session& s, CommandContext& ctx) {
    if (!picture_current(s)) return;
    const std::string name = file_name(s, ctx);
    if (name.empty()) return;
    std::ifstream file;
    if (!open_regular(file, name)) {
        s.out().line("Unable to open " + name + " for input.\a");
        return;
    }
    RecordReader in(file);
    std::string title;
    if (in.next(title) != ReadStatus::Ok) title.clear();
    s.out().blank_line();
    s.out().line(trimmed(title.substr(0, std::min(title.size(), kTextWidth))));
    s.out().blank_line();

    Placement at;
    if (!ask_number_pair(s, "Coordinates for subplot (x,y) > ", at.x0, at.y0)) return;
    auto typed_scale = ask_real(s, "     Scale factor for subplot > ");
    if (!typed_scale) return;
    const double scale = *typed_scale == 0.0 ? 1.0 : std::clamp(*typed_scale, -1e30, 1e30);
    float ux = 0.0f, uy = 0.0f;
    plot_unit_size(s, ux, uy);
    at.sx = ux * scale;
    at.sy = uy * scale;

    if (draw_strokes(s, in, at)) draw_labels(s, in, at, scale);
    end_plot(s, s.draw.last_device);
}

} // namespace tarva
