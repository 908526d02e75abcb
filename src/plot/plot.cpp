#include "plot/plot.h"

#include <cmath>

#include "session/session.h"
#include "plot/device.h"

namespace tarva {

namespace {

DriverIo io_of(Session& s) { return DriverIo{s.graphics, s.out()}; }

char upper_device(char device) {
    if (device >= 'a' && device <= 'z') return static_cast<char>(device - 'a' + 'A');
    return device;
}

// Pen offset the terminal receives for the DRAW line style.
int line_style_offset(int style) {
    switch (style) {
    case 1:
    case 5: return 30;
    case 2:
    case 6: return 20;
    case 3: return 10;
    case 4: return 40;
    default: return 0;
    }
}

// Draws from (x1, y1) to (x2, y2) and, with THICK set, the parallel strokes
// around the segment; ends with the pen at (x2, y2).
void thick_segment(Session& s, char device, float x1, float y1, float x2, float y2) {
    device_vector(s, device, x2, y2, 2);
    const GraphicsState& g = s.graphics;
    const int n = g.thick_count;
    const float d = g.thick_offset;
    if (n < 1 || !(d > 1e-10f)) return;
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    const float dx = ux * d, dy = uy * d;
    const float sx = x2 >= x1 ? 1.0f : -1.0f;
    const float sy = y2 >= y1 ? 1.0f : -1.0f;
    const float ox = static_cast<float>(n) * dx, oy = static_cast<float>(n) * dy;
    float sn = 0, cs = 0;
    for (int i = 1; i <= n; ++i) {
        const float cx = static_cast<float>(i) * dx, cy = static_cast<float>(i) * dy;
        if (std::fabs(x2 - x1) < 1e-10f) {
            device_vector(s, device, x1 + cx, y1 - oy * sy, 3);
            device_vector(s, device, x1 + cx, y2 + oy * sy, 2);
            device_vector(s, device, x1 - cx, y2 + oy * sy, 3);
            device_vector(s, device, x1 - cx, y1 - oy * sy, 2);
        } else if (std::fabs(y2 - y1) < 1e-10f) {
            device_vector(s, device, x1 - ox * sx, y1 - cy, 3);
            device_vector(s, device, x2 + ox * sx, y1 - cy, 2);
            device_vector(s, device, x2 + ox * sx, y1 + cy, 3);
            device_vector(s, device, x1 - ox * sx, y1 + cy, 2);
        } else {
            if (i == 1) {
                const float theta = std::atan2(y2 - y1, x2 - x1);
                sn = std::sin(theta);
                cs = std::cos(theta);
            }
            device_vector(s, device, x1 + cx * sn, y1 - cy * cs, 3);
            device_vector(s, device, x2 + cx * sn, y2 - cy * cs, 2);
            device_vector(s, device, x2 - cx * sn, y2 + cy * cs, 3);
            device_vector(s, device, x1 - cx * sn, y1 + cy * cs, 2);
        }
    }
    device_vector(s, device, x2, y2, 3);
}

// The terminal viewport in Tektronix addresses for character size c and
// box aspect a: margins for the numbers and captions, the box as large as
// the screen allows.
void terminal_viewport(float c, float a, int& l, int& r, int& b, int& t) {
    if (!(a > 0.0f) || !std::isfinite(a)) a = kSqrt2;
    if (!(c > 0.0f) || !std::isfinite(c)) c = 1.0f;
    float left = (3.0f * c + 1.0f) * 145.0f / 4.0f;
    float bottom = 80.0f * c;
    float right = 0, top = 0;
    if (a >= kSqrt2) {
        right = 990.0f;
        top = (990.0f - left) / a + bottom;
    } else {
        top = (990.0f - left) / kSqrt2 + bottom;
        right = (top - bottom) * a + left;
    }
    if (a > 2.0f) {
        const float h = (724.0f - (top - bottom)) / 2.0f;
        bottom += 0.75f * h;
        top += 0.75f * h;
    } else if (a <= 1.0f) {
        const float h = (1023.0f - (right - left)) / 2.0f;
        left += 0.5f * h;
        right += 0.5f * h;
    }
    l = clamp_to_int(left, -100000, 100000);
    r = clamp_to_int(right, -100000, 100000);
    b = clamp_to_int(bottom, -100000, 100000);
    t = clamp_to_int(top, -100000, 100000);
}

} // namespace

void plot_pen(Session& s, char device, float x, float y, int pen) {
    if (!valid_pen_code(pen)) return;
    GraphicsState& g = s.graphics;
    if (pen != 3) {
        if (g.pen_code == 3) device_vector(s, device, g.pen_x, g.pen_y, 3);
        thick_segment(s, device, g.pen_x, g.pen_y, x, y);
    }
    g.pen_x = x;
    g.pen_y = y;
    g.pen_code = pen;
}

void device_vector(Session& s, char device, float x, float y, int pen) {
    if (!valid_pen_code(pen)) return;
    GraphicsState& g = s.graphics;
    // 'O' and 'U' take no output only in upper case, as the codes are
    // given; the file devices accept either case.
    const char d = (device == 'q' || device == 'p' || device == 'h') ? upper_device(device) : device;
    const bool terminal = !(d == 'O' || d == 'U' || d == 'Q' || d == 'P' || d == 'H');
    const int driver_pen = terminal ? pen + line_style_offset(g.line_style) : pen;
    if (g.recorder) {
        g.recorder->events.push_back({RecordedEvent::Vector, device, x, y, pen, driver_pen});
        return;
    }
    switch (d) {
    case 'O':
    case 'U': return;
    case 'Q': g.ps.vector(io_of(s), x, y, pen); return;
    case 'P':
    case 'H': g.hpgl.vector(io_of(s), x, y, pen); return;
    default: g.tek.vector(io_of(s), x, y, driver_pen); return;
    }
}

void plot_unit_size(const Session& s, float& ux, float& uy) {
    const GraphicsState& g = s.graphics;
    ux = 0.0225f * (g.xmax - g.xmin);
    uy = 0.0225f * (g.ymax - g.ymin);
    const float a = g.aspect > 0.0f ? g.aspect : kSqrt2;
    if (a >= 1.0f)
        uy *= a;
    else
        ux /= a;
}

void begin_plot(Session& s, float aspect, char device, float xmin, float xmax, float ymin, float ymax, float& status) {
    GraphicsState& g = s.graphics;
    g.aspect = aspect;
    g.xmin = xmin;
    g.xmax = xmax;
    g.ymin = ymin;
    g.ymax = ymax;
    status = 0.0f;
    g.left_margin = xmin - 0.05f * (xmax - xmin);
    char d = upper_device(device);
    if (d == ' ') d = 'S';
    g.xspan = xmax - xmin;
    g.yspan = ymax - ymin;
    if (g.recorder) {
        g.recorder->events.push_back({RecordedEvent::Begin, device, 0, 0, 0, 0});
        return;
    }
    switch (d) {
    case 'O': s.out().line("Not implemented at Elmton."); return;
    case 'Q': g.ps.begin_picture(io_of(s), d, status); return;
    case 'H':
    case 'P': g.hpgl.begin_picture(io_of(s), d, status); return;
    case 'U': return;
    default: break;
    }
    if (!g.tek.destination_open()) open_destination(s, "*");
    if (g.terminal_type == 0) choose_terminal_type(s);
    int l = 0, r = 0, b = 0, t = 0;
    terminal_viewport(g.char_size, aspect, l, r, b, t);
    g.tek.set_viewport(l, r, b, t, xmin, xmax, ymin, ymax);
    g.tek.begin_picture(io_of(s), d, status);
}

void end_plot(Session& s, char device) {
    GraphicsState& g = s.graphics;
    if (g.recorder) {
        g.recorder->events.push_back({RecordedEvent::End, device, 0, 0, 0, 0});
        return;
    }
    switch (device) {
    case 'Q':
    case 'q': g.ps.end_picture(io_of(s)); return;
    case 'H':
    case 'h':
    case 'P':
    case 'p': g.hpgl.end_picture(io_of(s)); return;
    case 'O':
    case 'o': return;
    default: g.tek.end_picture(io_of(s)); return;
    }
}

bool cross_hair(Session& s, char device, char& key, float& x, float& y) {
    const char d = upper_device(device);
    if (d == 'U') return false;
    if (d == 'S' || d == ' ') {
        if (!s.graphics.tek.destination_open()) open_destination(s, "*");
        s.graphics.tek.cross_hair_prompt(io_of(s));
        auto report = s.input().read_keyboard();
        s.graphics.tek.cross_hair_decode(report ? &*report : nullptr, key, x, y);
        s.graphics.tek.mode(io_of(s), 0);
        return report.has_value();
    }
    s.out().line("Cross hair mode is not supported by this device.");
    key = 'Q';
    x = 0.0f;
    y = 0.0f;
    return false;
}

} // namespace tarva
