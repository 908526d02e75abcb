// Pictures drawn through cairo: the strokes of a picture kept in page units
// (the PostScript page, 0.001 inch, Y up) and rendered as a PDF, SVG or PNG
// file or as pixels for the image terminals. Lines have round caps and
// joins; colours come from one palette that reads well on white.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarva {

struct GraphicsState;

enum class PictureFormat { Pdf, Svg, Png };

// How a run of strokes is drawn.
struct StrokeStyle {
    float width = 5.0f; // page units
    int colour = 0;     // palette entry 0..kPaletteSize-1 (0 black)
    int dash = 0;       // 0 solid, 1 dotted, 2 dot-dashed, 3 short-dashed, 4 long-dashed
    friend bool operator==(const StrokeStyle&, const StrokeStyle&) = default;
};

inline constexpr int kPaletteSize = 8;
// Red, green and blue (0..255) of palette entry i.
struct Rgb {
    std::uint8_t r, g, b;
};
Rgb palette_colour(int i);
// The palette entry of a pen number (DRAW/C): pen 1 black, 2 red, 3 green,
// 4 blue, ..., repeating after eight; 0 and below black.
int pen_palette_entry(int pen);

// The widest stroke, in page units (half an inch): a mistyped DRAW/C width
// or a huge scale must not paint the page over.
inline constexpr float kWidestStroke = 500.0f;

// Line widths of the print style in points (1/72 inch) on the 11 inch
// page: frame, axes, text and annotations; data symbols, error bars and the
// line through dense data; the fitted curve. A picture scaled down to a
// journal column (a third) keeps lines of at least a quarter point.
inline constexpr float kPrintFramePoints = 1.0f;
inline constexpr float kPrintDataPoints = 0.75f;
inline constexpr float kPrintCurvePoints = 2.0f;
// The curve's colour in the print style (palette red), unless DRAW/C chose
// a pen other than black.
inline constexpr int kPrintCurveColour = 1;

// DRAW/C's pen as the cairo pictures keep it, and the style of a stroke
// drawn with it now.
struct PicturePen {
    int pen = 0;        // DRAW/C n > 0
    float width = 1.0f; // DRAW/C n < 0: the width -n
    // What DRAW/C hands every device (PlotDriver::pen_changed).
    void changed(int n, float w);
    // The pen's palette entry (black once COLOUR/D turned colour off), the
    // line width per unit of DRAW/C's width times `scale` (within
    // 0..kWidestStroke): 5 page units as on the PostScript device, or in the
    // print style the width of what the strokes show (g.stroke_role), and
    // the dash of the line style in force (DRAW/L while data and curve are
    // drawn).
    StrokeStyle style(const GraphicsState& g, float scale) const;
};

// A filled area: its colour and opacity (0..1).
struct FillStyle {
    Rgb colour{0, 0, 0};
    float opacity = 1.0f;
};

// The error band of dense data in the print style: the pen's colour,
// mostly see-through, so that bands of overlays do not hide each other.
inline constexpr float kBandOpacity = 0.22f;

class StrokeList {
public:
    void clear();
    bool empty() const { return points_.empty() && fills_.empty(); }
    void move(float x, float y);
    void draw(float x, float y, const StrokeStyle& style);
    // A closed outline filled, drawn after the strokes so far and before
    // the ones that follow. Fewer than three corners fill nothing.
    void fill(std::vector<std::pair<float, float>> outline, const FillStyle& style);

    struct Point {
        float x, y;
        int style; // index into styles(); -1 for a move
    };
    struct Fill {
        std::size_t at; // drawn before points()[at]
        std::vector<std::pair<float, float>> outline;
        FillStyle style;
    };
    const std::vector<Point>& points() const { return points_; }
    const std::vector<StrokeStyle>& styles() const { return styles_; }
    const std::vector<Fill>& fills() const { return fills_; }

private:
    std::vector<Point> points_;
    std::vector<StrokeStyle> styles_;
    std::vector<Fill> fills_;
};

// The file's bytes for a landscape page (PDF and SVG 11 x 8.5 inch, PNG at
// `dpi` on a white ground). Empty when cairo fails. SVG is written by the
// program itself (the same paths cairo would be given, as text).
std::string render_file(const StrokeList& list, PictureFormat format, double dpi);

// The largest picture drawn in pixels; a larger one is not drawn (the
// functions below then return nothing) rather than taking gigabytes.
inline constexpr long long kMostPicturePixels = 4000LL * 4000LL;

// How the raster pictures smooth their edges: cairo's best antialiasing,
// its fast one (fewer coverage levels), or none (every pixel a colour of
// the picture).
enum class Smoothing { Best, Fast, None };

// The page fitted to width x height pixels on a white ground: RGB bytes,
// three per pixel, row by row. Lines are at least `min_width` pixels wide.
std::vector<unsigned char> render_rgb(const StrokeList& list, int width, int height, double min_width = 1.0,
                                      Smoothing smoothing = Smoothing::Best);

// The same pixels as a PNG file's bytes.
std::string render_png(const StrokeList& list, int width, int height, double min_width = 1.0,
                       Smoothing smoothing = Smoothing::Best);

} // namespace tarva
