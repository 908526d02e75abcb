// HP-GL plot files: option H (an HP-GL/2 page printer reached through PCL
// escapes) and option P (a pen plotter), numbered through the run-number
// file "hpqvm.hgl" or named by DEFINE.
#pragma once

#include <fstream>
#include <string>

#include "graphics/drivers/driver.h"
#include "text/fixed_text.h"

namespace tarva {

inline constexpr const char* kHpglRunNumberFile = "hpqvm.hgl";

class HpglDriver : public PlotDriver {
public:
    // The option (H or P) is the device code of the picture.
    void begin_picture(DriverIo io, float& status) override;
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo io) override;
    void close(DriverIo io) override;

    // DEFINE/P, DEFINE/H: blank leaves the name, "*" restores automatic naming.
    void set_file_name(std::string_view name) override;
    void set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) override;
    // DRAW/C: n < 0 sets the width 0.15*|n| mm, n > 0 the pen number.
    void pen_changed(DriverIo io, int n, float width) override;
    void set_pen(OutputSink& out, int n);
    // DRAW/E Q (vertical) and DRAW/D Q (horizontal).
    void set_orientation(OutputSink& out, bool vertical);

    bool is_open() const { return file_.is_open(); }
    std::string_view file_name() const { return name_.trimmed(); }
    int run_number() const { return run_; }
    bool vertical() const { return vertical_; }

private:
    bool open_file(DriverIo io, char option);
    void finish_file(OutputSink& out, bool announce);
    void report_failure(OutputSink& out) const;
    void write_line(const std::string& text);

    std::ofstream file_;
    char option_ = 'H';
    FixedText<100> name_;
    FixedText<100> defined_name_;
    int run_ = 0;
    bool vertical_ = false;
    bool user_orientation_ = false;
    float pen_width_ = 0.15f;
    int pen_number_ = 1;
    float sx_ = 0, bx_ = 0, sy_ = 0, by_ = 0;
    float scale_ = 1.0f, offx_ = 0.0f, offy_ = 0.0f;
    int last_pen_ = 0;
    int up_x_ = 0, up_y_ = 0;
    int calls_ = 0;
};

} // namespace tarva
