// PostScript plot files for an 8.5 by 11 inch landscape page, numbered
// through the counter file "qvm.ps".
#pragma once

#include <fstream>
#include <string>

#include "graphics/drivers/driver.h"
#include "text/fixed_text.h"

namespace tarva {

inline constexpr const char* kPostScriptCounterFile = "qvm.ps";

class PostScriptDriver : public PlotDriver {
public:
    void begin_picture(DriverIo io, float& status) override;
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo io) override; // writes the pending item line
    void close(DriverIo io) override;

    // DEFINE/Q: "*" restores automatic naming, blank leaves the name.
    void set_file_name(std::string_view name) override;
    // DEFINE: scale and offsets in mm.
    void set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) override;
    // DRAW/C: a negative n sets the line width.
    void pen_changed(DriverIo io, int n, float width) override;
    void set_width(float w) { width_ = w; }

    bool is_open() const { return file_.is_open(); }
    std::string_view file_name() const { return name_.trimmed(); }
    int counter() const { return counter_; }
    void set_counter(int c) { counter_ = c; }

private:
    void open_numbered(DriverIo io, bool first);
    void write_opening();
    void write_width_line();
    void write_trailer();
    void report(DriverIo io) const;
    void report_failure(DriverIo io) const;
    bool finish_file();
    void reset_extents();
    void add_item(const std::string& item);
    void flush_line();
    double centre_x() const;
    double centre_y() const;

    std::ofstream file_;
    FixedText<40> name_;
    FixedText<40> defined_name_;
    int counter_ = 0;
    float ax_ = 0, bx_ = 0, ay_ = 0, by_ = 0;
    float scale_ = 1.0f, offx_ = 0.0f, offy_ = 0.0f;
    float width_ = 1.0f, last_width_ = 1.0f, width_base_ = 5.0f;
    bool pen_down_ = false;
    float min_x_ = 11000, max_x_ = 0, min_y_ = 8500, max_y_ = 0;
    std::string line_; // items of the current 70-column line
    int slot_ = 1;
};

} // namespace tarva
