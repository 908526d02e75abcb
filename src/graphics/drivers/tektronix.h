// Tektronix 4010/4014 vector protocol for the graphics terminal and its
// emulations: address encoding with byte omission, mode switching, line
// style and colour escapes, buffered output to the plot destination,
// screen clearing and cross-hair reports.
#pragma once

#include <array>
#include <fstream>
#include <string>
#include <string_view>

#include "graphics/drivers/driver.h"
#include "text/fixed_text.h"

namespace tarva {

inline constexpr int kTerminalTypes = 10;

// Menu text of terminal type n (1..10).
std::string_view terminal_type_name(int n);
// Control text sent when type n enters or leaves graphics (type 0 behaves
// as type 1).
std::string_view terminal_enter_sequence(int n);
std::string_view terminal_leave_sequence(int n);

// Tektronix address bytes of a 10-bit point: HiY, LoY, HiX, LoX.
std::array<char, 4> tektronix_address_bytes(int x, int y);

class TektronixDriver : public PlotDriver {
public:
    TektronixDriver();

    // Picture begin: the viewport (L, R, B, T in terminal addresses) comes
    // from the device layer; scale factors, clipping window and graphics
    // mode are set here.
    void set_viewport(int left, int right, int bottom, int top, float xmin, float xmax, float ymin, float ymax);

    void begin_picture(DriverIo io, char option, float& status) override;
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo io) override;
    void close(DriverIo io) override;

    // n = 1 graph mode, 2 alpha mode inside graphics, n <= 0 back to text.
    void mode(DriverIo io, int n);
    void clear_screen(DriverIo io);
    // Buffered output of one character code; -1 flushes, -2 flushes when
    // 40 or more characters wait.
    void put(int code);
    void put_text(std::string_view text);
    // Sends a point in terminal addresses (nothing when outside the
    // clipping window).
    void send_address(int x, int y);
    // Graphic input: reads a report line from the keyboard (given as
    // `report`, nullopt when the read failed) after prompting the terminal.
    void cross_hair_prompt(DriverIo io);
    void cross_hair_decode(const std::string* report, char& key, float& x, float& y) const;

    // Plot destination ("/dev/tty" or a file). Messages go to `out`.
    void open_destination(OutputSink& out, std::string name);
    bool destination_open() const { return dest_.is_open(); }
    std::string_view destination_name() const { return dest_name_.trimmed(); }
    void close_destination();

    // DEFINE and DRAW/B placement: scale and offsets in terminal addresses.
    void set_placement(float scale, float offx, float offy) {
        scale_ = scale;
        offx_ = offx;
        offy_ = offy;
    }
    float scale() const { return scale_; }
    float offset_x() const { return offx_; }
    float offset_y() const { return offy_; }

    int current_mode() const { return mode_; }

    // Terminal address of the last vector (for tests).
    int address_x() const { return cur_x_; }
    int address_y() const { return cur_y_; }
    int viewport_left() const { return left_; }
    int viewport_right() const { return right_; }
    int viewport_bottom() const { return bottom_; }
    int viewport_top() const { return top_; }

private:
    void write_buffer();
    void reopen_terminal(OutputSink& out);

    int mode_ = 0;
    int left_ = 0, right_ = 1023, bottom_ = 0, top_ = 767;
    float xmin_ = 0, ymin_ = 0;
    float sx_ = 0, ry_ = 0;
    float scale_ = 1.0f, offx_ = 0.0f, offy_ = 0.0f;
    int xlo_ = 0, xhi_ = 1023, ylo_ = 0, yhi_ = 767;
    std::array<char, 4> last_bytes_{};
    bool bytes_valid_ = false;
    int cur_x_ = 0, cur_y_ = 0;
    int pen_x_ = 0, pen_y_ = 0;
    int last_action_ = -1;
    int last_style_ = 0, last_colour_ = 0;
    std::string buffer_;
    FixedText<50> dest_name_{"/dev/tty"};
    std::ofstream dest_;
};

} // namespace tarva
