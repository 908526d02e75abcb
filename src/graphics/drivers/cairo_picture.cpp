#include "graphics/drivers/cairo_picture.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "graphics/drivers/page_layout.h"
#include "graphics/drivers/tektronix.h"
#include "graphics/graphics_state.h"

namespace tarva {

namespace {

constexpr Rgb kPalette[kPaletteSize] = {
    {0, 0, 0},      // black
    {200, 30, 30},  // red
    {20, 130, 40},  // green
    {30, 80, 200},  // blue
    {170, 40, 160}, // magenta
    {0, 140, 150},  // teal
    {230, 110, 0},  // orange
    {120, 80, 40},  // brown
};

// The page in inches (page units are 0.001 inch).
constexpr double kPageInchesX = kPageWidth / 1000.0, kPageInchesY = kPageHeight / 1000.0;

// Far outside the page but well inside cairo's fixed-point range; NaN goes
// to the low end.
float page_coordinate(float v) {
    if (!(v >= -100000.0f)) return -100000.0f;
    return std::min(v, 100000.0f);
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The dash pattern of a line style in page units (the terminal's four
// line styles); its length, 0 for a solid line.
int dash_pattern(int dash, double (&pattern)[4]) {
    static const double dotted[] = {0, 45};
    static const double dot_dash[] = {0, 45, 150, 45};
    static const double short_dash[] = {90, 60};
    static const double long_dash[] = {240, 90};
    const double* p = nullptr;
    int n = 0;
    switch (dash) {
    case 1: p = dotted, n = 2; break;
    case 2: p = dot_dash, n = 4; break;
    case 3: p = short_dash, n = 2; break;
    case 4: p = long_dash, n = 2; break;
    default: break;
    }
    for (int i = 0; i < n; ++i) pattern[i] = p[i];
    return n;
}

void set_style(cairo_t* cr, const StrokeStyle& st, double scale, double min_width) {
    const Rgb c = palette_colour(st.colour);
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    const double w = std::max(static_cast<double>(st.width) * scale, min_width);
    cairo_set_line_width(cr, w);
    double pattern[4];
    const int n = dash_pattern(st.dash, pattern);
    for (int i = 0; i < n; ++i) pattern[i] *= scale;
    cairo_set_dash(cr, pattern, n, 0.0);
}

// Points (1/72 inch) per page unit.
constexpr double kPointsPerUnit = 72.0 / 1000.0;

// Longest run of segments stroked at once. cairo's rasteriser slows down
// steeply with the number of edges in one path (a spectrum's symbols and
// error bars in one path took 100 ms at 800 x 600 pixels, in runs of 64
// about 30 ms); with round caps and joins a run cut anywhere looks the same.
// Dashed runs stay whole, so the dashes keep their phase.
constexpr int kSegmentsPerStroke = 64;

// Fills the outline (page units) on a raster surface: device X = x*scale,
// device Y = height - y*scale.
void fill_raster(cairo_t* cr, const StrokeList::Fill& f, double scale, double height) {
    if (f.outline.size() < 3) return;
    cairo_new_path(cr);
    for (const auto& [x, y] : f.outline)
        cairo_line_to(cr, page_coordinate(x) * scale, height - page_coordinate(y) * scale);
    cairo_close_path(cr);
    const Rgb c = f.style.colour;
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, f.style.opacity);
    cairo_fill(cr);
}

// Strokes the list onto a raster surface of the given height: device
// X = x*scale, device Y = height - y*scale. Runs of one style become one
// path, stroked when the style changes and at the end; the fills go in
// between, where they were given.
void paint(cairo_t* cr, const StrokeList& list, double scale, double height, double min_width) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    int current = -1;
    double px = 0, py = 0; // the pen
    double ex = 0, ey = 0; // where the path being built ends
    bool have_point = false;
    bool pending = false;
    int segments = 0;
    const auto& points = list.points();
    const auto& fills = list.fills();
    std::size_t next_fill = 0;
    for (std::size_t i = 0; i <= points.size(); ++i) {
        if (next_fill < fills.size() && fills[next_fill].at <= i) {
            if (pending) cairo_stroke(cr);
            pending = false;
            segments = 0;
            while (next_fill < fills.size() && fills[next_fill].at <= i)
                fill_raster(cr, fills[next_fill++], scale, height);
            current = -1; // the fill changed the source colour
        }
        if (i == points.size()) break;
        const StrokeList::Point& p = points[i];
        const double x = page_coordinate(p.x) * scale;
        const double y = height - page_coordinate(p.y) * scale;
        if (p.style < 0) {
            px = x;
            py = y;
            have_point = true;
            continue;
        }
        if (p.style != current) {
            if (pending) cairo_stroke(cr);
            pending = false;
            current = p.style;
            set_style(cr, list.styles()[static_cast<std::size_t>(current)], scale, min_width);
        }
        if (!have_point) {
            px = x;
            py = y;
            have_point = true;
        }
        if (pending && segments >= kSegmentsPerStroke && list.styles()[static_cast<std::size_t>(current)].dash == 0) {
            cairo_stroke(cr);
            pending = false;
            segments = 0;
        }
        ++segments;
        // A draw that does not go on from the end of the path (after a
        // move, or after a stroke) starts a new sub-path.
        if (!pending || ex != px || ey != py) cairo_move_to(cr, px, py);
        cairo_line_to(cr, x, y);
        pending = true;
        px = ex = x;
        py = ey = y;
    }
    if (pending) cairo_stroke(cr);
}

// A point of a vector page, in points from the top left corner.
struct Spot {
    double x, y;
    bool operator==(const Spot&) const = default;
};

// Strokes the list onto a PDF or SVG page `height` points high, Y down,
// handing its paths to `Out` (cairo for PDF, the program's own SVG writer),
// with less to write (cairo writes every number with printf and
// compresses the page with zlib, which was most of a picture's time):
// - points lie on a grid of a quarter point (0.0035 inch, finer than the
//   stroke fonts' own steps and the thinnest line), so numbers stay short;
// - a move to where the path already ends does not start a new sub-path;
// - a solid sub-path that ends where it began (a symbol's outline, a
//   letter O) is closed instead of drawn back to its start: with round caps
//   and joins that looks the same once its first and last segments are at
//   least a line width long, and it saves a point;
// - a sub-path wholly off the page (by more than its line width) is left
//   out;
// - on a PDF page a closed outline that is an upright rectangle (a symbol's
//   square, the plot frame) is stroked by itself, which cairo writes as
//   "x y w h re": half the numbers;
// - cairo's tolerance is a whole point: the page has no curves to flatten,
//   and cairo uses it only to find each stroke's extent by outlining it
//   with a pen of that many sides, which was a fifth of a page's time.
// cairo itself already merges collinear draws and drops zero-length ones
// and a move followed by a move. The thinnest line is one page unit, as on
// the PostScript page. Solid runs are stroked every kSegmentsPerStroke
// segments, as on the raster pictures, for the viewers' rasterisers.
// `Out` takes: style(StrokeStyle), move(Spot), line(Spot), close(),
// stroke(), rectangle(corner, opposite corner) stroked alone, and
// fill(corners, FillStyle).
template <class Out>
class VectorPainter {
public:
    // `rectangles_alone`: stroke each upright rectangle by itself (for PDF,
    // below; an SVG file would get a path element for each).
    VectorPainter(Out& out, const StrokeList& list, double height, bool rectangles_alone)
        : out_(out), list_(list), height_(height), rectangles_alone_(rectangles_alone) {}

    void paint() {
        const auto& points = list_.points();
        const auto& fills = list_.fills();
        std::size_t next_fill = 0;
        for (std::size_t i = 0; i <= points.size(); ++i) {
            if (next_fill < fills.size() && fills[next_fill].at <= i) {
                end_sub_path();
                stroke();
                while (next_fill < fills.size() && fills[next_fill].at <= i) fill(fills[next_fill++]);
                style_ = -1; // set again for the next stroke
            }
            if (i == points.size()) break;
            const StrokeList::Point& p = points[i];
            const Spot q = on_grid(p.x, p.y);
            if (p.style < 0) {
                if (!(q == pen_)) end_sub_path();
                pen_ = q;
                have_pen_ = true;
                continue;
            }
            if (p.style != style_) {
                end_sub_path();
                stroke();
                style_ = p.style;
                const StrokeStyle& st = list_.styles()[static_cast<std::size_t>(style_)];
                out_.style(st);
                width_ = std::max(static_cast<double>(st.width), 1.0) * kPointsPerUnit;
                solid_ = st.dash == 0;
            }
            if (!have_pen_) {
                pen_ = q;
                have_pen_ = true;
            }
            const int gathered = sub_.empty() ? 0 : static_cast<int>(sub_.size()) - 1;
            if (solid_ && segments_ + gathered >= kSegmentsPerStroke) {
                end_sub_path();
                stroke();
            }
            if (sub_.empty()) sub_.push_back(pen_);
            sub_.push_back(q);
            pen_ = q;
        }
        end_sub_path();
        stroke();
    }

private:
    static constexpr double kGrid = 4.0; // steps per point

    Spot on_grid(float x, float y) const {
        return {std::round(page_coordinate(x) * kPointsPerUnit * kGrid) / kGrid,
                std::round((height_ - page_coordinate(y) * kPointsPerUnit) * kGrid) / kGrid};
    }

    bool off_page() const {
        double x0 = sub_[0].x, x1 = x0, y0 = sub_[0].y, y1 = y0;
        for (const Spot& q : sub_) {
            x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
            y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
        }
        const double page_x = kPageInchesX * 72.0;
        return x1 < -width_ || y1 < -width_ || x0 > page_x + width_ || y0 > height_ + width_;
    }

    bool long_enough(const Spot& a, const Spot& b) const { return std::hypot(a.x - b.x, a.y - b.y) >= width_; }

    // Hands the sub-path gathered on.
    void end_sub_path() {
        if (sub_.empty()) return;
        if (!off_page()) {
            std::size_t n = sub_.size();
            const bool closed = solid_ && n >= 4 && sub_.front() == sub_.back() && long_enough(sub_[0], sub_[1]) &&
                                long_enough(sub_[n - 2], sub_[n - 1]);
            if (closed) --n;
            if (rectangles_alone_ && closed && n == 4 && upright_rectangle()) {
                // Stroked alone, so that cairo writes it as "x y w h re"
                // (four numbers instead of eight): it does so only for a
                // path that is one rectangle. The other sub-paths of the
                // same style wait in `path_`; with one opaque colour the
                // order of the strokes does not show.
                out_.rectangle(sub_[0], sub_[2]);
            } else {
                starts_.push_back({path_.size(), closed});
                path_.insert(path_.end(), sub_.begin(), sub_.begin() + static_cast<std::ptrdiff_t>(n));
                segments_ += static_cast<int>(sub_.size()) - 1;
            }
        }
        sub_.clear();
    }

    // The four corners gathered go round a rectangle with sides along the
    // axes (either way round).
    bool upright_rectangle() const {
        const Spot &a = sub_[0], &b = sub_[1], &c = sub_[2], &d = sub_[3];
        const bool across = a.y == b.y && b.x == c.x && c.y == d.y && d.x == a.x;
        const bool down = a.x == b.x && b.y == c.y && c.x == d.x && d.y == a.y;
        return (across || down) && a.x != c.x && a.y != c.y;
    }

    // Hands the sub-paths gathered on as one path and strokes it.
    void stroke() {
        for (std::size_t k = 0; k < starts_.size(); ++k) {
            const std::size_t end = k + 1 < starts_.size() ? starts_[k + 1].first : path_.size();
            const std::size_t begin = starts_[k].first;
            out_.move(path_[begin]);
            for (std::size_t i = begin + 1; i < end; ++i) out_.line(path_[i]);
            if (starts_[k].second) out_.close();
        }
        if (!starts_.empty()) out_.stroke();
        path_.clear();
        starts_.clear();
        segments_ = 0;
    }

    void fill(const StrokeList::Fill& f) {
        if (f.outline.size() < 3) return;
        std::vector<Spot> corners;
        corners.reserve(f.outline.size());
        for (const auto& [x, y] : f.outline) corners.push_back(on_grid(x, y));
        out_.fill(corners, f.style);
    }

    Out& out_;
    const StrokeList& list_;
    double height_;
    bool rectangles_alone_;
    std::vector<Spot> sub_;                            // the sub-path being gathered
    std::vector<Spot> path_;                           // the sub-paths waiting for the next stroke
    std::vector<std::pair<std::size_t, bool>> starts_; // where each begins in path_, and whether it is closed
    Spot pen_{0, 0};
    bool have_pen_ = false;
    int style_ = -1;
    double width_ = 0; // line width in points
    bool solid_ = true;
    int segments_ = 0; // in path_
};

// The vector painter's paths handed to cairo (the PDF page).
class CairoPaths {
public:
    explicit CairoPaths(cairo_t* cr) : cr_(cr) {
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
        cairo_set_tolerance(cr_, kTolerance);
    }
    void style(const StrokeStyle& st) { set_style(cr_, st, kPointsPerUnit, kPointsPerUnit); }
    void move(Spot p) { cairo_move_to(cr_, p.x, p.y); }
    void line(Spot p) { cairo_line_to(cr_, p.x, p.y); }
    void close() { cairo_close_path(cr_); }
    void stroke() { cairo_stroke(cr_); }
    void rectangle(Spot a, Spot c) {
        cairo_rectangle(cr_, a.x, a.y, c.x - a.x, c.y - a.y);
        cairo_stroke(cr_);
    }
    void fill(const std::vector<Spot>& corners, const FillStyle& f) {
        cairo_new_path(cr_);
        for (const Spot& p : corners) cairo_line_to(cr_, p.x, p.y);
        cairo_close_path(cr_);
        const Rgb c = f.colour;
        cairo_set_source_rgba(cr_, c.r / 255.0, c.g / 255.0, c.b / 255.0, f.opacity);
        cairo_fill(cr_);
    }

private:
    static constexpr double kTolerance = 1.0; // points
    cairo_t* cr_;
};

// Appends a non-negative integer in decimal.
void append_digits(std::string& s, unsigned long long v) {
    char buf[24];
    char* p = buf + sizeof buf;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    s.append(p, static_cast<std::size_t>(buf + sizeof buf - p));
}

// Appends a coordinate on the quarter-point grid: "12", "-3.5", "0.25".
void append_quarter(std::string& s, double v) {
    long long q = std::llround(v * 4.0);
    if (q < 0) {
        s.push_back('-');
        q = -q;
    }
    append_digits(s, static_cast<unsigned long long>(q / 4));
    static constexpr const char* kFractions[] = {"", ".25", ".5", ".75"};
    s += kFractions[q % 4];
}

// Appends a length with up to four decimals, trailing zeros left out.
void append_length(std::string& s, double v) {
    const long long t = std::llround(std::max(v, 0.0) * 10000.0);
    append_digits(s, static_cast<unsigned long long>(t / 10000));
    long long frac = t % 10000;
    if (frac == 0) return;
    char digits[5] = {static_cast<char>('0' + frac / 1000), static_cast<char>('0' + frac / 100 % 10),
                      static_cast<char>('0' + frac / 10 % 10), static_cast<char>('0' + frac % 10), 0};
    int n = 4;
    while (digits[n - 1] == '0') --n;
    s.push_back('.');
    s.append(digits, static_cast<std::size_t>(n));
}

void append_rgb(std::string& s, Rgb c) {
    s += "rgb(";
    append_digits(s, c.r);
    s.push_back(',');
    append_digits(s, c.g);
    s.push_back(',');
    append_digits(s, c.b);
    s.push_back(')');
}

// The vector painter's paths written as SVG path elements, one per stroke,
// directly as text: cairo's SVG surface formatted every number through its
// own printf and was three quarters of a page's time. The common stroke
// settings sit on the group around them.
class SvgPaths {
public:
    explicit SvgPaths(std::string& out) : out_(out) {}
    void style(const StrokeStyle& st) {
        head_ = "<path stroke=\"";
        append_rgb(head_, palette_colour(st.colour));
        head_ += "\" stroke-width=\"";
        append_length(head_, std::max(static_cast<double>(st.width), 1.0) * kPointsPerUnit);
        head_.push_back('"');
        double pattern[4];
        const int n = dash_pattern(st.dash, pattern);
        if (n > 0) {
            head_ += " stroke-dasharray=\"";
            for (int i = 0; i < n; ++i) {
                if (i > 0) head_.push_back(',');
                append_length(head_, pattern[i] * kPointsPerUnit);
            }
            head_.push_back('"');
        }
        head_ += " d=\"";
    }
    void move(Spot p) {
        if (!open_) out_ += head_;
        open_ = true;
        point('M', p);
    }
    void line(Spot p) { point('L', p); }
    void close() { out_ += "Z "; }
    void stroke() {
        if (!open_) return;
        out_ += "\"/>\n";
        open_ = false;
    }
    void rectangle(Spot a, Spot c) {
        move(a);
        line({c.x, a.y});
        line(c);
        line({a.x, c.y});
        close();
        stroke();
    }
    void fill(const std::vector<Spot>& corners, const FillStyle& f) {
        out_ += "<path stroke=\"none\" fill=\"";
        append_rgb(out_, f.colour);
        out_ += "\" fill-opacity=\"";
        append_length(out_, std::clamp(static_cast<double>(f.opacity), 0.0, 1.0));
        out_ += "\" d=\"";
        char op = 'M';
        for (const Spot& p : corners) {
            point(op, p);
            op = 'L';
        }
        out_ += "Z\"/>\n";
    }

private:
    void point(char op, Spot p) {
        out_.push_back(op);
        out_.push_back(' ');
        append_quarter(out_, p.x);
        out_.push_back(' ');
        append_quarter(out_, p.y);
        out_.push_back(' ');
    }

    std::string& out_;
    std::string head_;
    bool open_ = false;
};

// The SVG file of the page: 11 x 8.5 inch in points, nothing behind the
// strokes (as cairo's SVG surface left it).
std::string svg_file(const StrokeList& list) {
    const double w = kPageInchesX * 72.0, h = kPageInchesY * 72.0;
    std::string out;
    out.reserve(64 + 14 * list.points().size());
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
    append_length(out, w);
    out += "pt\" height=\"";
    append_length(out, h);
    out += "pt\" viewBox=\"0 0 ";
    append_length(out, w);
    out.push_back(' ');
    append_length(out, h);
    out += "\" version=\"1.1\">\n<g fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    SvgPaths paths(out);
    VectorPainter<SvgPaths>(paths, list, h, false).paint();
    out += "</g>\n</svg>\n";
    return out;
}

void append_png_bytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

// The image surface (RGB24: blue, green, red and an unused byte per pixel
// in memory) as an 8-bit RGB PNG file. libpng directly rather than cairo's
// own writer, for its fastest compression and the "up" row filter: a
// picture of thin lines on white compresses almost as well that way at a
// fraction of the time. False when libpng fails.
bool write_png(cairo_surface_t* surface, std::string& bytes) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    // libpng reports errors by longjmp; nothing here needs unwinding.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &bytes, append_png_bytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < height; ++y) png_write_row(png, data + static_cast<std::ptrdiff_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void fill_white(cairo_t* cr) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
}

cairo_antialias_t antialias_of(Smoothing smoothing) {
    switch (smoothing) {
    case Smoothing::Fast: return CAIRO_ANTIALIAS_FAST;
    case Smoothing::None: return CAIRO_ANTIALIAS_NONE;
    case Smoothing::Best: break;
    }
    return CAIRO_ANTIALIAS_DEFAULT;
}

Surface raster(const StrokeList& list, int width, int height, double min_width, Smoothing smoothing) {
    if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMostPicturePixels) return nullptr;
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    Context cr(cairo_create(surface.get()));
    fill_white(cr.get());
    cairo_set_antialias(cr.get(), antialias_of(smoothing));
    // The page fitted: one scale for both axes, so strokes keep their shape.
    const double scale = std::min(width / double{kPageWidth}, height / double{kPageHeight});
    paint(cr.get(), list, scale, height, min_width);
    cairo_surface_flush(surface.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return surface;
}

} // namespace

Rgb palette_colour(int i) { return kPalette[(i >= 0 && i < kPaletteSize) ? i : 0]; }

int pen_palette_entry(int pen) { return pen <= 0 ? 0 : (pen - 1) % kPaletteSize; }

void PicturePen::changed(int n, float w) {
    if (n > 0) pen = n;
    if (n < 0) width = w;
}

namespace {

// Page units per unit of DRAW/C's width.
float base_width(const GraphicsState& g) {
    if (!g.print_style) return 5.0f; // as the PostScript device
    constexpr float kUnitsPerPoint = 1000.0f / 72.0f;
    switch (g.stroke_role) {
    case StrokeRole::Data: return kPrintDataPoints * kUnitsPerPoint;
    case StrokeRole::Curve: return kPrintCurvePoints * kUnitsPerPoint;
    case StrokeRole::Frame: break;
    }
    return kPrintFramePoints * kUnitsPerPoint;
}

} // namespace

StrokeStyle PicturePen::style(const GraphicsState& g, float scale) const {
    StrokeStyle st;
    const float w = base_width(g) * scale * width;
    st.width = w >= 0.0f ? std::min(w, kWidestStroke) : 0.0f; // NaN too
    st.colour = g.colour_enabled ? pen_palette_entry(pen) : 0;
    // The fitted curve stands out from the data in the print style, unless
    // a pen colour was chosen for it.
    if (g.print_style && g.colour_enabled && g.stroke_role == StrokeRole::Curve && st.colour == 0)
        st.colour = kPrintCurveColour;
    st.dash = line_style_offset(g.line_style) / 10;
    return st;
}

void StrokeList::clear() {
    points_.clear();
    styles_.clear();
    fills_.clear();
}

void StrokeList::move(float x, float y) {
    if (!points_.empty() && points_.back().style < 0) {
        points_.back() = {x, y, -1};
        return;
    }
    points_.push_back({x, y, -1});
}

void StrokeList::draw(float x, float y, const StrokeStyle& style) {
    if (styles_.empty() || !(styles_.back() == style)) styles_.push_back(style);
    points_.push_back({x, y, static_cast<int>(styles_.size()) - 1});
}

void StrokeList::fill(std::vector<std::pair<float, float>> outline, const FillStyle& style) {
    if (outline.size() < 3) return;
    fills_.push_back({points_.size(), std::move(outline), style});
}

std::string render_file(const StrokeList& list, PictureFormat format, double dpi) {
    std::string bytes;
    if (format == PictureFormat::Png) {
        const double w = std::round(kPageInchesX * dpi), h = std::round(kPageInchesY * dpi);
        if (!(w >= 1.0 && h >= 1.0 && w * h <= static_cast<double>(kMostPicturePixels))) return {};
        // cairo's faster antialiasing (fewer coverage levels): for lines a
        // pixel or two wide it looks the same and halves the drawing time of
        // a full spectrum.
        Surface surface = raster(list, static_cast<int>(w), static_cast<int>(h), 1.0, Smoothing::Fast);
        if (!surface || !write_png(surface.get(), bytes)) return {};
        return bytes;
    }
    if (format == PictureFormat::Svg) return svg_file(list);
    const double w = kPageInchesX * 72.0, h = kPageInchesY * 72.0;
    Surface surface(cairo_pdf_surface_create_for_stream(append_bytes, &bytes, w, h));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "tarva");
    {
        Context cr(cairo_create(surface.get()));
        CairoPaths paths(cr.get());
        VectorPainter<CairoPaths>(paths, list, h, true).paint();
        cairo_show_page(cr.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return {};
    }
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
    return bytes;
}

std::vector<unsigned char> render_rgb(const StrokeList& list, int width, int height, double min_width,
                                      Smoothing smoothing) {
    Surface surface = raster(list, width, height, min_width, smoothing);
    if (!surface) return {};
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    std::size_t k = 0;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t px = row[x];
            rgb[k++] = static_cast<unsigned char>(px >> 16);
            rgb[k++] = static_cast<unsigned char>(px >> 8);
            rgb[k++] = static_cast<unsigned char>(px);
        }
    }
    return rgb;
}

std::string render_png(const StrokeList& list, int width, int height, double min_width, Smoothing smoothing) {
    Surface surface = raster(list, width, height, min_width, smoothing);
    if (!surface) return {};
    std::string bytes;
    if (!write_png(surface.get(), bytes)) return {};
    return bytes;
}

} // namespace tarva
