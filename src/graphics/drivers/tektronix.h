// Tektronix 4010/4014 vector protocol for the graphics terminal and its
// emulations: address encoding with byte omission, mode switching, line
// style and colour escapes, buffered output to the plot destination,
// screen clearing and cross-hair reports.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "graphics/drivers/driver.h"
#include "graphics/drivers/plot_destination.h"

namespace tarva {

// The Tektronix 4010/4014 terminal and its emulations: terminal types 1..10.
inline constexpr int kTektronixTypes = 10;

// Menu text of terminal type n (1..10).
std::string_view tektronix_type_name(int n);
// Control text sent when type n enters or leaves graphics (type 0 behaves
// as type 1).
std::string_view terminal_enter_sequence(int n);
std::string_view terminal_leave_sequence(int n);

// Tektronix address bytes of a 10-bit point: HiY, LoY, HiX, LoX.
std::array<char, 4> tektronix_address_bytes(int x, int y);

// Pen offset the terminal receives for DRAW's line style (0..6): the tens
// digit of the pen code selects the terminal's line style.
int line_style_offset(int style);

// The terminal viewport in Tektronix addresses for character size c and box
// aspect a: margins for the numbers and captions, the box as large as the
// screen allows.
void terminal_viewport(float c, float a, int& left, int& right, int& bottom, int& top);

// DEFINE/S and DRAW/B: the terminal picture's scale and offsets, kept in the
// graphics record for every terminal type (offsets become terminal
// addresses, 4.72 per mm).
void set_terminal_placement(GraphicsState& g, float scale, float offx_mm, float offy_mm);

class TektronixDriver : public PlotDriver {
public:
    explicit TektronixDriver(PlotDestination& destination);

    // Sets the viewport (L, R, B, T in terminal addresses), the scale
    // factors and the clipping window for the window xmin..xmax, ymin..ymax.
    void set_viewport(int left, int right, int bottom, int top, float xmin, float xmax, float ymin, float ymax);

    // Picture begin: viewport from the character size and aspect ratio,
    // graphics mode, and the screen cleared when the clear flag is set.
    void begin_picture(DriverIo io, float& status) override;
    // The pen code gets DRAW's line style added as its tens digit.
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo io) override;
    void close(DriverIo io) override;
    void set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) override;
    void clear_screen(DriverIo io) override;
    bool cross_hair(DriverIo io, const ReportReader& read, char& key, float& x, float& y) override;

    // n = 1 graph mode, 2 alpha mode inside graphics, n <= 0 back to text.
    void mode(DriverIo io, int n);
    // Buffered output of one character code; -1 flushes, -2 flushes when
    // 40 or more characters wait.
    void put(int code);
    void put_text(std::string_view text);
    // Sends a point in terminal addresses (nothing when outside the
    // clipping window).
    void send_address(int x, int y);

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
    void decode_report(const GraphicsState& g, const std::string* report, char& key, float& x, float& y) const;

    PlotDestination& destination_;
    int mode_ = 0;
    int left_ = 0, right_ = 1023, bottom_ = 0, top_ = 767;
    float xmin_ = 0, ymin_ = 0;
    float sx_ = 0, ry_ = 0;
    int xlo_ = 0, xhi_ = 1023, ylo_ = 0, yhi_ = 767;
    std::array<char, 4> last_bytes_{};
    bool bytes_valid_ = false;
    int cur_x_ = 0, cur_y_ = 0;
    int pen_x_ = 0, pen_y_ = 0;
    int last_action_ = -1;
    int last_style_ = 0, last_colour_ = 0;
    std::string buffer_;
};

} // namespace tarva
