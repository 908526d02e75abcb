#include "graphics/drivers/cairo_picture.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
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

void set_style(cairo_t* cr, const StrokeStyle& st, double scale, double min_width) {
    const Rgb c = palette_colour(st.colour);
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
    const double w = std::max(static_cast<double>(st.width) * scale, min_width);
    cairo_set_line_width(cr, w);
    // Dash patterns in page units: the terminal's four line styles.
    static const double dotted[] = {0, 45};
    static const double dot_dash[] = {0, 45, 150, 45};
    static const double short_dash[] = {90, 60};
    static const double long_dash[] = {240, 90};
    const double* pattern = nullptr;
    int n = 0;
    switch (st.dash) {
    case 1: pattern = dotted, n = 2; break;
    case 2: pattern = dot_dash, n = 4; break;
    case 3: pattern = short_dash, n = 2; break;
    case 4: pattern = long_dash, n = 2; break;
    default: break;
    }
    double scaled[4] = {0, 0, 0, 0};
    for (int i = 0; i < n; ++i) scaled[i] = pattern[i] * scale;
    cairo_set_dash(cr, scaled, n, 0.0);
}

// Longest run of segments stroked at once. cairo's rasteriser slows down
// steeply with the number of edges in one path (a spectrum's symbols and
// error bars in one path took 100 ms at 800 x 600 pixels, in runs of 64
// about 30 ms); with round caps and joins a run cut anywhere looks the same.
// Dashed runs stay whole, so the dashes keep their phase.
constexpr int kSegmentsPerStroke = 64;

// Strokes the list onto a raster surface of the given height: device
// X = x*scale, device Y = height - y*scale. Runs of one style become one
// path, stroked when the style changes and at the end.
void paint(cairo_t* cr, const StrokeList& list, double scale, double height, double min_width) {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    int current = -1;
    double px = 0, py = 0; // the pen
    double ex = 0, ey = 0; // where the path being built ends
    bool have_point = false;
    bool pending = false;
    int segments = 0;
    for (const StrokeList::Point& p : list.points()) {
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

// Strokes the list onto a PDF or SVG page `height` points high, Y down, with
// less for cairo to write (it writes every number with printf and
// compresses the page with zlib, which is most of a picture's time):
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
class VectorPainter {
public:
    // `rectangles_alone`: stroke each upright rectangle by itself (for PDF,
    // below; an SVG file would get a path element for each).
    VectorPainter(cairo_t* cr, const StrokeList& list, double height, bool rectangles_alone)
        : cr_(cr), list_(list), height_(height), rectangles_alone_(rectangles_alone) {}

    void paint() {
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
        cairo_set_tolerance(cr_, kTolerance);
        for (const StrokeList::Point& p : list_.points()) {
            const Spot q = on_grid(p);
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
                set_style(cr_, st, kPointsPerUnit, kPointsPerUnit);
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
    static constexpr double kPointsPerUnit = 72.0 / 1000.0;
    static constexpr double kGrid = 4.0;      // steps per point
    static constexpr double kTolerance = 1.0; // points

    struct Spot {
        double x, y;
        bool operator==(const Spot&) const = default;
    };

    Spot on_grid(const StrokeList::Point& p) const {
        return {std::round(page_coordinate(p.x) * kPointsPerUnit * kGrid) / kGrid,
                std::round((height_ - page_coordinate(p.y) * kPointsPerUnit) * kGrid) / kGrid};
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

    // Hands the sub-path gathered to cairo.
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
                cairo_rectangle(cr_, sub_[0].x, sub_[0].y, sub_[2].x - sub_[0].x, sub_[2].y - sub_[0].y);
                cairo_stroke(cr_);
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

    // Hands the sub-paths gathered to cairo as one path and strokes it.
    void stroke() {
        for (std::size_t k = 0; k < starts_.size(); ++k) {
            const std::size_t end = k + 1 < starts_.size() ? starts_[k + 1].first : path_.size();
            const std::size_t begin = starts_[k].first;
            cairo_move_to(cr_, path_[begin].x, path_[begin].y);
            for (std::size_t i = begin + 1; i < end; ++i) cairo_line_to(cr_, path_[i].x, path_[i].y);
            if (starts_[k].second) cairo_close_path(cr_);
        }
        if (!starts_.empty()) cairo_stroke(cr_);
        path_.clear();
        starts_.clear();
        segments_ = 0;
    }

    cairo_t* cr_;
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

Surface raster(const StrokeList& list, int width, int height, double min_width, cairo_antialias_t antialias) {
    if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMostPicturePixels) return nullptr;
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    Context cr(cairo_create(surface.get()));
    fill_white(cr.get());
    cairo_set_antialias(cr.get(), antialias);
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

StrokeStyle PicturePen::style(const GraphicsState& g, float scale) const {
    StrokeStyle st;
    const float w = 5.0f * scale * width;
    st.width = w >= 0.0f ? std::min(w, kWidestStroke) : 0.0f; // NaN too
    st.colour = g.colour_enabled ? pen_palette_entry(pen) : 0;
    st.dash = line_style_offset(g.line_style) / 10;
    return st;
}

void StrokeList::clear() {
    points_.clear();
    styles_.clear();
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

std::string render_file(const StrokeList& list, PictureFormat format, double dpi) {
    std::string bytes;
    if (format == PictureFormat::Png) {
        const double w = std::round(kPageInchesX * dpi), h = std::round(kPageInchesY * dpi);
        if (!(w >= 1.0 && h >= 1.0 && w * h <= static_cast<double>(kMostPicturePixels))) return {};
        // cairo's faster antialiasing (fewer coverage levels): for lines a
        // pixel or two wide it looks the same and halves the drawing time of
        // a full spectrum.
        Surface surface = raster(list, static_cast<int>(w), static_cast<int>(h), 1.0, CAIRO_ANTIALIAS_FAST);
        if (!surface || !write_png(surface.get(), bytes)) return {};
        return bytes;
    }
    const double w = kPageInchesX * 72.0, h = kPageInchesY * 72.0;
    Surface surface(format == PictureFormat::Pdf ? cairo_pdf_surface_create_for_stream(append_bytes, &bytes, w, h)
                                                 : cairo_svg_surface_create_for_stream(append_bytes, &bytes, w, h));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
    if (format == PictureFormat::Pdf)
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "tarva");
    {
        Context cr(cairo_create(surface.get()));
        VectorPainter(cr.get(), list, h, format == PictureFormat::Pdf).paint();
        cairo_show_page(cr.get());
        if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return {};
    }
    cairo_surface_finish(surface.get());
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return {};
    return bytes;
}

std::vector<unsigned char> render_rgb(const StrokeList& list, int width, int height, double min_width) {
    Surface surface = raster(list, width, height, min_width, CAIRO_ANTIALIAS_DEFAULT);
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

std::string render_png(const StrokeList& list, int width, int height, double min_width) {
    Surface surface = raster(list, width, height, min_width, CAIRO_ANTIALIAS_DEFAULT);
    if (!surface) return {};
    std::string bytes;
    if (!write_png(surface.get(), bytes)) return {};
    return bytes;
}

} // namespace tarva
