// Pictures drawn through cairo: the strokes of a picture kept in page units
// (the PostScript page, 0.001 inch, Y up) and rendered as a PDF, SVG or PNG
// file or as pixels for the image terminals. Lines have round caps and
// joins; colours come from one palette that reads well on white.
#pragma once

#include <cstdint>
#include <string>
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

// DRAW/C's pen as the cairo pictures keep it, and the style of a stroke
// drawn with it now.
struct PicturePen {
    int pen = 0;        // DRAW/C n > 0
    float width = 1.0f; // DRAW/C n < 0: the width -n
    // What DRAW/C hands every device (PlotDriver::pen_changed).
    void changed(int n, float w);
    // The pen's palette entry (black once COLOUR/D turned colour off), 5
    // page units of width per unit of DRAW/C's width times `scale` (within
    // 0..kWidestStroke, as the PostScript device's width base is 5), and the
    // dash of the line style in force (DRAW/L while data and curve are drawn).
    StrokeStyle style(const GraphicsState& g, float scale) const;
};

class StrokeList {
public:
    void clear();
    bool empty() const { return points_.empty(); }
    void move(float x, float y);
    void draw(float x, float y, const StrokeStyle& style);

    struct Point {
        float x, y;
        int style; // index into styles(); -1 for a move
    };
    const std::vector<Point>& points() const { return points_; }
    const std::vector<StrokeStyle>& styles() const { return styles_; }

private:
    std::vector<Point> points_;
    std::vector<StrokeStyle> styles_;
};

// The file's bytes for a landscape page (PDF and SVG 11 x 8.5 inch, PNG at
// `dpi` on a white ground). Empty when cairo fails.
std::string render_file(const StrokeList& list, PictureFormat format, double dpi);

// The largest picture drawn in pixels; a larger one is not drawn (the
// functions below then return nothing) rather than taking gigabytes.
inline constexpr long long kMostPicturePixels = 4000LL * 4000LL;

// The page fitted to width x height pixels on a white ground: RGB bytes,
// three per pixel, row by row. Lines are at least `min_width` pixels wide.
std::vector<unsigned char> render_rgb(const StrokeList& list, int width, int height, double min_width = 1.0);

// The same pixels as a PNG file's bytes.
std::string render_png(const StrokeList& list, int width, int height, double min_width = 1.0);

} // namespace tarva
