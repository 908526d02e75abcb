#include "graphics/drivers/tektronix.h"

#include <algorithm>
#include <cmath>

#include "graphics/graphics_state.h"
#include "io/output_sink.h"

namespace tarva {

namespace {

constexpr char ESC = 27, GS = 29, US = 31, CAN = 24, ETB = 23, ETX = 3, FF = 12, CR = 13, LF = 10, SUB = 26;

constexpr std::string_view kNames[kTektronixTypes] = {
    "Tektronix 4010/4",
    "GRAPHON GO235 or SELANAR/VT100",
    "FALCO 550 window 1 is alpha",
    "FALCO 550 window 3 is alpha",
    "PERICOM at Valdor",
    "PERICOM at Elmton",
    "V500 at Brisca",
    "xterm in Fenwold laboratory",
    "as 8 but without open/close",
    "MAC NSCA 4014 emulation (not recommended)",
};

const std::string kEnter[kTektronixTypes] = {
    "",
    {ESC, '1', ESC, '*'},
    {ESC, '[', '<', '2', 'a'},
    {ESC, '[', '<', '2', 'a'},
    {ESC, ':', GS},
    {ESC, '\\', GS},
    {CR},
    {ESC, '[', '?', '3', '8', 'h'},
    {ESC, '[', '?', '3', '8', 'h'},
    {ESC, FF},
};

const std::string kLeave[kTektronixTypes] = {
    "",
    {ESC, 'O', ESC, '2'},
    {ESC, '[', '<', '1', 'a'},
    {ESC, '[', '<', '3', 'a'},
    {CAN},
    {ESC, '\\', CAN},
    {CAN, LF, ETB},
    {ESC, ETX},
    {ESC, ETX},
    "",
};

int type_index(int n) { return (n >= 1 && n <= kTektronixTypes) ? n - 1 : 0; }

// Terminal address of a world coordinate, limited so that the integer
// conversion cannot overflow (such points lie far outside the window).
int to_address(double v) { return clamp_to_int(v, -1000000, 1000000); }

} // namespace

std::string_view tektronix_type_name(int n) { return kNames[type_index(n)]; }
std::string_view terminal_enter_sequence(int n) { return kEnter[type_index(n)]; }
std::string_view terminal_leave_sequence(int n) { return kLeave[type_index(n)]; }

std::array<char, 4> tektronix_address_bytes(int x, int y) {
    x = std::clamp(x, 0, 1023);
    y = std::clamp(y, 0, 1023);
    return {static_cast<char>(32 + y / 32), static_cast<char>(96 + y % 32), static_cast<char>(32 + x / 32),
            static_cast<char>(64 + x % 32)};
}

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

void set_terminal_placement(GraphicsState& g, float scale, float offx_mm, float offy_mm) {
    g.terminal_scale = scale;
    g.terminal_offx = offx_mm * 4.72f;
    g.terminal_offy = offy_mm * 4.72f;
}

TektronixDriver::TektronixDriver(PlotDestination& destination) : destination_(destination) { buffer_.reserve(120); }

void TektronixDriver::set_viewport(int left, int right, int bottom, int top, float xmin, float xmax, float ymin,
                                   float ymax) {
    xlo_ = 0;
    xhi_ = 1023;
    ylo_ = 0;
    yhi_ = 767;
    left_ = left;
    right_ = right;
    bottom_ = bottom;
    top_ = top;
    xmin_ = xmin;
    ymin_ = ymin;
    // A zero or unusable span gives zero scale factors: every point then
    // lands on the lower left corner instead of dividing by zero.
    const float xs = xmax - xmin, ys = ymax - ymin;
    sx_ = (xs != 0.0f && std::isfinite(xs)) ? static_cast<float>(right - left) / xs : 0.0f;
    const float den = ys * sx_;
    ry_ = (den != 0.0f && std::isfinite(den)) ? static_cast<float>(top - bottom) / den : 0.0f;
}

void TektronixDriver::begin_picture(DriverIo io, float&) {
    const GraphicsState& g = io.g;
    int l = 0, r = 0, b = 0, t = 0;
    terminal_viewport(g.char_size, g.aspect, l, r, b, t);
    set_viewport(l, r, b, t, g.xmin, g.xmax, g.ymin, g.ymax);
    mode(io, 1);
    if (io.g.clear_flag) clear_screen(io);
}

// A destination that stopped taking bytes (a full disk) is said at the
// picture that found it out, and again at every later one.
void TektronixDriver::end_picture(DriverIo io) {
    mode(io, 0);
    put(-1);
    destination_.report_failure(io.out);
}

void TektronixDriver::close(DriverIo io) {
    mode(io, 0);
    put(-1);
}

void TektronixDriver::put(int code) {
    if (code >= 0) {
        buffer_.push_back(static_cast<char>(code));
        if (code < 32) bytes_valid_ = false;
        if (buffer_.size() >= 120) write_buffer();
        return;
    }
    if (code == -1 && !buffer_.empty()) write_buffer();
    if (code == -2 && buffer_.size() >= 40) write_buffer();
}

void TektronixDriver::put_text(std::string_view text) {
    for (char c : text) put(static_cast<unsigned char>(c));
}

void TektronixDriver::write_buffer() {
    destination_.write(buffer_);
    buffer_.clear();
}

void TektronixDriver::mode(DriverIo io, int n) {
    const int type = io.g.terminal_type;
    if (n > 0) {
        if ((mode_ == 1 && n == 1) || (mode_ == 2 && n == 2)) return;
        if (mode_ == 1 && n == 2) {
            put(US);
            mode_ = 2;
            return;
        }
        if (mode_ == 2 && n == 1) {
            put(GS);
            mode_ = 1;
            return;
        }
        put_text(terminal_enter_sequence(type));
        mode_ = 2;
        if (n == 1) {
            put(GS);
            mode_ = 1;
        } else {
            put(-1);
        }
        return;
    }
    if (mode_ == 0) return;
    if (mode_ == 1) put(US);
    put_text(terminal_leave_sequence(type));
    mode_ = 0;
    put(-1);
    if (type == 8) reopen_terminal(io.out);
}

void TektronixDriver::clear_screen(DriverIo io) {
    mode(io, 1);
    if (io.g.terminal_type == 7) put(US);
    put(ESC);
    put(FF);
    mode(io, 0);
}

void TektronixDriver::send_address(int x, int y) {
    if (x < xlo_ || x > xhi_ || y < ylo_ || y > yhi_) return;
    const auto b = tektronix_address_bytes(x, y);
    const bool all = !bytes_valid_;
    const bool hix_changed = all || b[2] != last_bytes_[2];
    if (all || b[0] != last_bytes_[0]) put(static_cast<unsigned char>(b[0]));
    if (all || b[1] != last_bytes_[1] || hix_changed) put(static_cast<unsigned char>(b[1]));
    if (hix_changed) put(static_cast<unsigned char>(b[2]));
    put(static_cast<unsigned char>(b[3]));
    last_bytes_ = b;
    bytes_valid_ = true;
}

void TektronixDriver::set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) {
    set_terminal_placement(io.g, scale, offx_mm, offy_mm);
}

void TektronixDriver::vector(DriverIo io, float x, float y, int pen) {
    const GraphicsState& g = io.g;
    const float fx = ((x - xmin_) * sx_ + static_cast<float>(left_)) * g.terminal_scale + g.terminal_offx;
    const float fy = ((y - ymin_) * sx_ * ry_ + static_cast<float>(bottom_)) * g.terminal_scale + g.terminal_offy;
    cur_x_ = to_address(fx);
    cur_y_ = to_address(fy);
    long long p = static_cast<long long>(pen) + line_style_offset(g.line_style);
    if (p < 0) {
        p = -p;
        put(US);
        put(ESC);
        put(FF);
        put(GS);
    }
    int action = static_cast<int>(p % 10);
    const int style_digit = static_cast<int>((p / 10) % 10);
    const int colour = static_cast<int>((p / 100) % 10);
    if (last_action_ < 0) last_action_ = action;
    if (action == 1) action = last_action_;
    if (mode_ == 0 || action == 3) mode(io, 1);
    if (action == 3) {
        put(US);
        put(-2);
        put(GS);
        send_address(cur_x_, cur_y_);
        pen_x_ = cur_x_;
        pen_y_ = cur_y_;
    } else {
        int style = style_digit;
        if (style > 6) style += 17;
        bool escaped = false;
        if (style != last_style_) {
            put(ESC);
            put(96 + style);
            escaped = true;
        }
        if (colour != last_colour_) {
            put(ESC);
            put('/');
            put('0' + colour);
            put('d');
            escaped = true;
        }
        if (action != 0) {
            if (escaped) {
                put(GS);
                send_address(pen_x_, pen_y_);
            }
            send_address(cur_x_, cur_y_);
            pen_x_ = cur_x_;
            pen_y_ = cur_y_;
        }
        last_style_ = style;
        last_colour_ = colour;
    }
    last_action_ = action;
}

bool TektronixDriver::cross_hair(DriverIo io, const ReportReader& read, char& key, float& x, float& y) {
    mode(io, 2);
    put_text(std::string{ESC, US, ESC, US, ESC, SUB});
    put(-1);
    if (io.g.terminal_type == 8) reopen_terminal(io.out);
    const auto report = read();
    decode_report(io.g, report ? &*report : nullptr, key, x, y);
    mode(io, 0);
    return true;
}

void TektronixDriver::decode_report(const GraphicsState& g, const std::string* report, char& key, float& x,
                                    float& y) const {
    if (!report) {
        key = ' ';
        return;
    }
    std::string r = report->substr(0, std::min<std::size_t>(report->size(), 80));
    r.resize(80, ' ');
    key = r[0];
    auto code = [&](std::size_t i) { return static_cast<int>(static_cast<unsigned char>(r[i])); };
    const int ax = ((code(1) * 32) % 1024) + (code(2) % 32);
    const int ay = ((code(3) * 32) % 1024) + (code(4) % 32);
    const float sc = g.terminal_scale != 0.0f ? g.terminal_scale : 1.0f;
    const float sxv = sx_ != 0.0f ? sx_ : 1.0f;
    const float syv = (sx_ * ry_) != 0.0f ? sx_ * ry_ : 1.0f;
    x = ((static_cast<float>(ax) - g.terminal_offx) / sc - static_cast<float>(left_)) / sxv + xmin_;
    y = ((static_cast<float>(ay) - g.terminal_offy) / sc - static_cast<float>(bottom_)) / syv + ymin_;
}

void TektronixDriver::reopen_terminal(OutputSink& out) {
    put(-1);
    destination_.open(out, "*");
}

} // namespace tarva
