// Device X: pictures as PDF, SVG or PNG files drawn through cairo, laid out
// on the PostScript page so that both match line for line. Files are named
// like the PostScript ones (plt01.pdf, ...) from the files already there, or
// by DEFINE/X; the name's extension picks the format. Each file is complete
// after every drawing command: the strokes of the open picture are kept and
// the whole file is written again, through a temporary file, when a
// command ends.
#pragma once

#include <string>
#include <string_view>

#include "graphics/drivers/cairo_picture.h"
#include "graphics/drivers/driver.h"
#include "graphics/drivers/page_layout.h"
#include "text/fixed_text.h"

namespace tarva {

// PNG pictures: 150 pixels per inch times DEFINE/X's scale, which is kept
// within these limits (at most 3300 x 2550 pixels).
inline constexpr double kPngDpi = 150.0;
inline constexpr float kPngScaleMin = 0.1f, kPngScaleMax = 2.0f;

// The format a file name asks for: .svg and .png (either case), anything
// else PDF.
PictureFormat format_of_name(std::string_view name);

class PictureFileDriver : public PlotDriver {
public:
    void begin_picture(DriverIo io, float& status) override;
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo io) override;
    void close(DriverIo io) override;
    // "*" automatic PDF names, "*.svg" or "*.png" automatic names of that
    // format; a name without a known extension gets ".pdf".
    void set_file_name(std::string_view name) override;
    void set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) override;
    void pen_changed(DriverIo io, int n, float width) override;

    bool is_open() const { return open_; }
    std::string_view file_name() const { return name_.trimmed(); }

private:
    bool start_file(DriverIo io);
    void write_file(DriverIo io);
    StrokeStyle style(const GraphicsState& g) const;
    float png_scale() const;

    StrokeList strokes_;
    bool open_ = false;
    bool dirty_ = false;
    FixedText<100> name_;
    FixedText<100> defined_name_;
    PictureFormat auto_format_ = PictureFormat::Pdf;
    PictureFormat format_ = PictureFormat::Pdf;
    int counter_ = 0;
    PageTransform t_;
    float scale_ = 1.0f, offx_ = 0.0f, offy_ = 0.0f;
    float width_ = 1.0f;
    int pen_ = 0;
    bool down_ = false;
};

} // namespace tarva
