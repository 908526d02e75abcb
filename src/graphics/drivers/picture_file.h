// Device X: pictures as PDF, SVG or PNG files drawn through cairo, laid out
// on the PostScript page so that both match line for line, but upright (a
// landscape page). Files are named like the PostScript ones (plt01.pdf, ...,
// plt99.pdf, plt100.pdf, ...) after the highest one already there, without a
// counter file and never over an existing file, or by DEFINE/X; the
// name's extension picks the format. Each file is complete after every
// drawing command: the strokes of the open page are kept and the whole file
// is written again, through a temporary file renamed over it, when the
// command ends. Without the graphics-clear flag later pictures land on the
// same page, as on the PostScript device.
#pragma once

#include <array>
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
// The extension of a format: ".pdf", ".svg" or ".png".
const char* extension_of(PictureFormat format);

class PictureFileDriver : public PlotDriver {
public:
    void begin_picture(DriverIo io, float& status) override;
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo io) override; // writes the file
    void close(DriverIo io) override;
    // "*" automatic PDF names, "*.svg" or "*.png" automatic names of that
    // format; a name without one of the three extensions gets ".pdf".
    void set_file_name(std::string_view name) override;
    // DEFINE: scale and offsets in mm. PDF and SVG pictures are scaled on
    // the page as PostScript ones are; a PNG keeps the page and takes the
    // scale as its resolution (kPngDpi times the scale, within the limits).
    void set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) override;
    // DRAW/C: pen colour (n > 0) or line width (n < 0).
    void pen_changed(DriverIo io, int n, float width) override;

    bool is_open() const { return open_; }
    std::string_view file_name() const { return name_.trimmed(); }

private:
    bool start_file(DriverIo io);
    void write_file(DriverIo io);
    std::string next_automatic_name(PictureFormat format);
    float png_scale() const;

    StrokeList strokes_;
    bool open_ = false;
    bool dirty_ = false;    // strokes not yet on disk
    bool announce_ = false; // a picture begun, "Plot written to" not yet said
    FixedText<100> name_;
    FixedText<100> defined_name_;
    PictureFormat auto_format_ = PictureFormat::Pdf;
    PictureFormat format_ = PictureFormat::Pdf;
    // The last automatic number of each format in this run (0: none yet, the
    // files decide).
    std::array<int, 3> counters_{};
    PageTransform t_;
    float scale_ = 1.0f, offx_ = 0.0f, offy_ = 0.0f;
    PicturePen pen_;
    bool down_ = false;
};

} // namespace tarva
