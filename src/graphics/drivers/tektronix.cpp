#include "graphics/drivers/tektronix.h"

#include <algorithm>
#include <cmath>

#include "io/output_sink.h"
#include "graphics/graphics_state.h"

namespace tarva {

namespace {

constexpr char ESC = 27, GS = 29, US = 31, CAN = 24, ETB = 23, ETX = 3, FF = 12, CR = 13, LF = 10, SUB = 26;

constexpr std::string_view kNames[kTerminalTypes] = {
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

const std::string kEnter[kTerminalTypes] = {
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

const std::string kLeave[kTerminalTypes] = {
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

int type_index(int n) { return (n >= 1 && n <= kTerminalTypes) ? n - 1 : 0; }

// Terminal address of a world coordinate, limited so that the integer
// conversion cannot overflow (such points lie far outside the window).
int to_address(double v) { return clamp_to_int(v, -1000000, 1000000); }

} // namespace

std::string_view terminal_type_name(int n) { return kNames[type_index(n)]; }
std::string_view terminal_enter_sequence(int n) { return kEnter[type_index(n)]; }
std::string_view terminal_leave_sequence(int n) { return kLeave[type_index(n)]; }

std::array<char, 4> tektronix_address_bytes(int x, int y) {
    x = std::clamp(x, 0, 1023);
    y = std::clamp(y, 0, 1023);
    return {static_cast<char>(32 + y / 32), static_cast<char>(96 + y % 32), static_cast<char>(32 + x / 32),
            static_cast<char>(64 + x % 32)};
}

TektronixDriver::TektronixDriver() { buffer_.reserve(120); }

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

void TektronixDriver::begin_picture(DriverIo io, char, float&) {
    mode(io, 1);
    if (io.g.clear_flag) clear_screen(io);
}

void TektronixDriver::end_picture(DriverIo io) { mode(io, 0); }

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
    if (dest_.is_open()) {
        dest_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        dest_.flush();
    }
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

void TektronixDriver::vector(DriverIo io, float x, float y, int pen) {
    const float fx = ((x - xmin_) * sx_ + static_cast<float>(left_)) * scale_ + offx_;
    const float fy = ((y - ymin_) * sx_ * ry_ + static_cast<float>(bottom_)) * scale_ + offy_;
    cur_x_ = to_address(fx);
    cur_y_ = to_address(fy);
    long long p = pen;
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

void TektronixDriver::cross_hair_prompt(DriverIo io) {
    mode(io, 2);
    put_text(std::string{ESC, US, ESC, US, ESC, SUB});
    put(-1);
    if (io.g.terminal_type == 8) reopen_terminal(io.out);
}

void TektronixDriver::cross_hair_decode(const std::string* report, char& key, float& x, float& y) const {
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
    const float sc = scale_ != 0.0f ? scale_ : 1.0f;
    const float sxv = sx_ != 0.0f ? sx_ : 1.0f;
    const float syv = (sx_ * ry_) != 0.0f ? sx_ * ry_ : 1.0f;
    x = ((static_cast<float>(ax) - offx_) / sc - static_cast<float>(left_)) / sxv + xmin_;
    y = ((static_cast<float>(ay) - offy_) / sc - static_cast<float>(bottom_)) / syv + ymin_;
}

void TektronixDriver::close_destination() {
    if (dest_.is_open()) {
        put(-1);
        dest_.close();
    }
}

void TektronixDriver::open_destination(OutputSink& out, std::string name) {
    if (last_nonblank(name) == 0) return;
    name = std::string(trimmed(name));
    if (name == "*") name = "/dev/tty";
    name = std::string(trimmed(pad(name, 50)));
    const std::string previous(dest_name_.trimmed());
    const bool was_open = dest_.is_open();
    close_destination();
    dest_.clear();
    dest_.open(name, std::ios::out | std::ios::trunc | std::ios::binary);
    if (dest_.is_open()) {
        dest_name_ = name;
        return;
    }
    dest_.clear();
    out.line("Unable to open output to " + name + ".");
    if (!was_open) return;
    // The previous destination is continued, not rewritten.
    dest_.open(previous, std::ios::out | std::ios::app | std::ios::binary);
    if (!dest_.is_open()) {
        dest_.clear();
        out.line("Unable to reopen original channel: " + previous);
    }
}

void TektronixDriver::reopen_terminal(OutputSink& out) { open_destination(out, "*"); }

} // namespace tarva
