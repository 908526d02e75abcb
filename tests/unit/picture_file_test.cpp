// Device X: PDF, SVG and PNG files drawn through cairo. Every file the tests
// write is read by an outside program (pdfinfo and pdftoppm, rsvg-convert,
// pngtopnm); the README picture drawn into PNG agrees with its PostScript
// page as Ghostscript renders it; names, pages, pens and widths; and the
// faults: names that cannot be written, a disk that fills up, huge scales.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "command_fixture.h"
#include "graphics/drivers/cairo_picture.h"
#include "picture_images.h"
#include "plot/device.h"
#include "tarva_process.h"

namespace tarva {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;
using testing_support::decode_png;
using testing_support::have_program;
using testing_support::ink;
using testing_support::Picture;
using testing_support::picture_from;
using testing_support::read_file;

// Files of the checked writer's temporaries left in the working directory.
std::vector<std::string> temporaries() {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator("."))
        if (e.path().filename().string().find(".tmp") != std::string::npos) found.push_back(e.path().filename());
    return found;
}

// pdfinfo reads the file as one upright letter landscape page and pdftoppm
// renders it (20 pixels per inch: 220 x 170), with something drawn unless
// `inked` is false.
::testing::AssertionResult pdf_reads(const std::string& file, bool inked = true) {
    if (!have_program("pdfinfo") || !have_program("pdftoppm")) return ::testing::AssertionSuccess();
    if (std::system(("pdfinfo " + file + " >info.txt 2>&1").c_str()) != 0)
        return ::testing::AssertionFailure() << "pdfinfo " << file << ":\n" << read_file("info.txt");
    const std::string info = read_file("info.txt");
    for (const std::string& line : {std::string("Pages:           1\n"), std::string("Page size:       792 x 612 pts"),
                                    std::string("Page rot:        0\n")})
        if (info.find(line) == std::string::npos)
            return ::testing::AssertionFailure() << file << ": no \"" << line << "\" in\n" << info;
    const auto page = picture_from("pdftoppm -r 20 -singlefile " + file + " page", "page.ppm");
    if (!page || page->width != 220 || page->height != 170 || (inked && ink(*page) <= 0.0))
        return ::testing::AssertionFailure() << "pdftoppm did not render " << file << ": " << read_file("tool.log");
    return ::testing::AssertionSuccess();
}

// rsvg-convert renders the file at 96 pixels per inch: 1056 x 816.
::testing::AssertionResult svg_reads(const std::string& file) {
    if (!have_program("rsvg-convert") || !have_program("pngtopnm")) return ::testing::AssertionSuccess();
    if (std::system(("rsvg-convert -o svg.png " + file + " >tool.log 2>&1").c_str()) != 0)
        return ::testing::AssertionFailure() << "rsvg-convert " << file << ":\n" << read_file("tool.log");
    const auto p = decode_png("svg.png");
    if (!p || p->width != 1056 || p->height != 816 || ink(*p) <= 0.0)
        return ::testing::AssertionFailure() << file << " rendered to no landscape picture";
    return ::testing::AssertionSuccess();
}

// A picture of the test's data on every device: a line through 40 points
// with error bars.
struct PictureFiles : testing_support::ScratchCommandFixture {
    void SetUp() override {
        for (int i = 0; i < 40; ++i) {
            const float x = static_cast<float>(i) * 0.25f;
            add_point(x, 3.0f + 2.0f * std::sin(x), 0.2f);
        }
        s.fit.function = 9;
        s.data.caption = "Device X";
    }
    // The PNG decoded by pngtopnm, of the size 150 pixels per inch gives
    // the page times `scale`.
    Picture png(const std::string& file, double scale = 1.0) {
        Picture p;
        if (!have_program("pngtopnm")) return p;
        auto got = decode_png(file);
        EXPECT_TRUE(got.has_value()) << file << " does not decode";
        if (!got) return p;
        EXPECT_EQ(got->width, std::lround(1650 * scale)) << file;
        EXPECT_EQ(got->height, std::lround(1275 * scale)) << file;
        return *got;
    }
};

TEST_F(PictureFiles, EveryFormatIsReadByItsConsumer) {
    EXPECT_EQ(run("draw/x"), " Plot written to: plt01.pdf\n");
    run("arc/l", "0,0\n9,5\n");
    EXPECT_TRUE(pdf_reads("plt01.pdf"));
    run("define/x view.svg");
    EXPECT_EQ(run("draw/x"), " Plot written to: view.svg\n");
    EXPECT_TRUE(svg_reads("view.svg"));
    run("define/x Shot.PNG");
    EXPECT_EQ(run("draw/x"), " Plot written to: Shot.PNG\n");
    run("arc 1", "5,3\n6,3\n360\n");
    const Picture shot = png("Shot.PNG");
    if (shot.width > 0) {
        EXPECT_GT(ink(shot), 0.005);
        EXPECT_GT(testing_support::grey_edge_pixels(shot), 5000); // antialiased lines
    }
    // A name without one of the three extensions is a PDF.
    run("define/x report");
    EXPECT_EQ(run("draw/t x"), " Default option set to x\n");
    EXPECT_EQ(run("draw"), " Plot written to: report.pdf\n");
    EXPECT_EQ(run("close"), " report.pdf file closed.\n");
    EXPECT_TRUE(pdf_reads("report.pdf"));
    EXPECT_EQ(run("close"), "");
    EXPECT_TRUE(temporaries().empty());
}

// DEFINE/X's scale shrinks a PDF picture on the page as it does a
// PostScript one.
TEST_F(PictureFiles, DefineScaleShrinksThePdfPicture) {
    if (!have_program("pdftoppm")) GTEST_SKIP() << "poppler-utils not installed";
    auto inked_width = [this](const std::string& name) {
        run("define/x " + name);
        run("draw/x");
        const auto page = picture_from("pdftoppm -r 20 -singlefile " + name + " page", "page.ppm");
        EXPECT_TRUE(page.has_value()) << name;
        int first = -1, last = -1;
        for (int x = 0; page && x < page->width; ++x)
            for (int y = 0; y < page->height; ++y)
                if (page->grey(x, y) < 128) {
                    if (first < 0) first = x;
                    last = x;
                }
        return last - first;
    };
    const int full = inked_width("full.pdf");
    run("define/x", "0.5\n0 0\n");
    const int half = inked_width("half.pdf");
    EXPECT_GT(full, 150);
    EXPECT_NEAR(half, full / 2, 4);
}

// Each drawing command leaves a complete file; without the clear flag the
// next picture lands on the same page, as on the PostScript device.
TEST_F(PictureFiles, TheFileIsCompleteAfterEveryCommand) {
    run("draw/x");
    ASSERT_TRUE(fs::exists("plt01.pdf"));
    EXPECT_TRUE(pdf_reads("plt01.pdf"));
    const auto before = fs::file_size("plt01.pdf");
    run("thick/3 0.4");
    run("arc/l", "0,0\n9,5\n");
    EXPECT_GT(fs::file_size("plt01.pdf"), before);
    EXPECT_TRUE(pdf_reads("plt01.pdf"));
    run("draw/d cf");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt01.pdf\n");
    EXPECT_FALSE(fs::exists("plt02.pdf"));
    EXPECT_TRUE(pdf_reads("plt01.pdf"));
    run("draw/e cf");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt02.pdf\n");
    EXPECT_TRUE(pdf_reads("plt02.pdf"));
    EXPECT_TRUE(temporaries().empty());
}

// Automatic names continue after the highest pltNN of the format already
// there, past plt99 to plt100, step over a name that appeared meanwhile,
// never replace a file, and leave no counter file.
TEST_F(PictureFiles, AutomaticNamesContinueAfterTheHighestOne) {
    for (const char* f : {"plt03.pdf", "plt07.pdf", "plt12.png", "plt99.svg", "plt40.ps", "plt7.svg", "plt0100.svg"})
        testing_support::write_file(f, "old");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt08.pdf\n");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt09.pdf\n");
    run("define/x *.png");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt13.png\n");
    run("define/x *.svg");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt100.svg\n");
    testing_support::write_file("plt101.svg", "old");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt102.svg\n");
    run("define/x *");
    EXPECT_EQ(run("draw/x"), " Plot written to: plt10.pdf\n");
    close_plot_files(s, '*');
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(".")) files.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"plt0100.svg", "plt03.pdf", "plt07.pdf", "plt08.pdf", "plt09.pdf",
                                               "plt10.pdf", "plt100.svg", "plt101.svg", "plt102.svg", "plt12.png",
                                               "plt13.png", "plt40.ps", "plt7.svg", "plt99.svg"}));
    for (const char* f : {"plt03.pdf", "plt99.svg", "plt101.svg", "plt7.svg", "plt0100.svg"})
        EXPECT_EQ(read_file(f), "old") << f;
}

// DRAW/C's pen colours reach the picture in the palette (black again with
// COLOUR/D), and DRAW/C's width and THICK widen the lines.
TEST_F(PictureFiles, PenColourWidthAndThicknessReachThePicture) {
    if (!have_program("pngtopnm")) GTEST_SKIP() << "netpbm not installed";
    s.draw.flags.data_points = false; // the line alone
    auto draw = [this](const std::string& name) {
        run("define/x " + name);
        run("draw/x");
        return png(name);
    };
    const Picture plain = draw("plain.png");
    EXPECT_EQ(testing_support::coloured_pixels(plain), 0);
    run("draw/c 2");
    const Picture red = draw("red.png");
    EXPECT_GT(testing_support::coloured_pixels(red), 2000);
    run("colour/d");
    EXPECT_EQ(testing_support::coloured_pixels(draw("black.png")), 0);
    run("colour/e");
    run("draw/c 1");
    run("draw/c -4");
    const Picture wide = draw("wide.png");
    EXPECT_GT(ink(wide), 2.0 * ink(plain));
    run("draw/c -1");
    run("thick/2 0.3");
    EXPECT_GT(ink(draw("thick.png")), 1.5 * ink(plain));
}

// The README picture: the README's own macro draws it through DRAW/X into
// PNG; the same picture on the PostScript device, rendered by Ghostscript
// (antialiased, at the PNG's 150 pixels per inch) and turned upright, must
// agree with it stroke for stroke. Both are averaged over 110 x 85 cells (a
// tenth of an inch) and compared in grey levels: the mean difference must
// stay below 1.5 of 255 (measured 0.23), while the same picture moved by
// DEFINE/X's offsets (12 mm, -7 mm), or the PostScript page left sideways,
// differ by more than three times that plus 4 (measured 8.5 and 9.0), so
// the comparison can tell.
struct ReadmePicture : testing_support::TarvaProcess {};

TEST_F(ReadmePicture, DrawXAgreesWithGhostscriptsPostScript) {
    const std::string pictures = std::string(TARVA_SOURCE_DIR) + "/docs/pictures/";
    ASSERT_EQ(std::system((pictures + "make_peaks.sh >" + path("peaks.fit")).c_str()), 0);
    file("readme.qvc", read_file(pictures + "readme.qvc"));
    const testing_support::ProcessRun readme = run("@readme\n");
    ASSERT_TRUE(readme.exited_with(0)) << readme.out << readme.err;
    ASSERT_THAT(readme.out, HasSubstr(" Plot written to: readme_fit.png\n"));
    // EXIT, the macro's last line (echoed from the macro), closes the file.
    EXPECT_THAT(readme.out, HasSubstr("exit" + std::string(36, ' ') + "\n readme_fit.png file closed.\n"));
    const testing_support::ProcessRun others = run("data peaks\nfit\ndraw/q x\n-5 205\n0 420\n"
                                                   "define/x\n1\n12 -7\ndefine/x moved.png\n"
                                                   "draw/x x\n-5 205\n0 420\nexit\n");
    ASSERT_TRUE(others.exited_with(0)) << others.out << others.err;
    if (!have_program("gs") || !have_program("pngtopnm")) GTEST_SKIP() << "Ghostscript or netpbm not installed";
    const std::string gs = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -sPAPERSIZE=letter -dFIXEDMEDIA -r150 "
                           "-dGraphicsAlphaBits=4 -sOutputFile=page.ppm ";
    const auto page = picture_from(gs + path("plt01.ps"), "page.ppm");
    ASSERT_TRUE(page.has_value()) << read_file("tool.log");
    ASSERT_EQ(page->width, 1275); // portrait letter at 150 pixels per inch
    const Picture upright = testing_support::turned_right(*page);
    const auto x = decode_png(path("readme_fit.png"));
    const auto moved = decode_png(path("moved.png"));
    ASSERT_TRUE(x && moved);
    EXPECT_EQ(x->width, 1650);
    EXPECT_EQ(x->height, 1275);
    const double same = testing_support::mean_difference(*x, upright, 110, 85);
    EXPECT_LT(same, 1.5);
    EXPECT_GT(testing_support::mean_difference(*moved, upright, 110, 85), 3 * same + 4.0);
    EXPECT_GT(testing_support::mean_difference(*x, *page, 110, 85), 3 * same + 4.0);
}

// Names that cannot be written: one message, no picture announced, nothing
// left behind, and the session goes on; huge DEFINE/X scales are limited for
// PNG and harmless for PDF.
TEST_F(PictureFiles, UnwritableNamesAndHugeScales) {
    fs::create_directory("taken.pdf");
    run("define/x taken.pdf");
    EXPECT_EQ(run("draw/x"), " Unable to open taken.pdf for output.\n");
    EXPECT_EQ(run("arc/l", "0,0\n9,5\n"), " No plot current!\n");
    run("define/x no/such/dir/p.svg");
    EXPECT_EQ(run("draw/x"), " Unable to open no/such/dir/p.svg for output.\n");
    // A read-only directory: one made so, or for the superuser, who writes
    // into those, sysfs, where nobody may make a file.
    const bool superuser = ::geteuid() == 0;
    const std::string ro = superuser ? "/sys" : "ro";
    if (!superuser) {
        fs::create_directory(ro);
        fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
    }
    run("define/x " + ro + "/p.png");
    EXPECT_EQ(run("draw/x"), " Unable to open " + ro + "/p.png for output.\n");
    EXPECT_FALSE(fs::exists(ro + "/p.png"));
    if (!superuser) {
        fs::permissions(ro, fs::perms::owner_all);
        EXPECT_TRUE(fs::is_empty(ro));
    }
    EXPECT_EQ(run("close"), "");
    run("define/x huge.png");
    run("define/x", "1e30\n0 0\n");
    EXPECT_EQ(run("draw/x"), " PNG resolution limited to 300 pixels per inch.\n Plot written to: huge.png\n");
    png("huge.png", 2.0);
    run("define/x huge.pdf");
    EXPECT_EQ(run("draw/x"), " Plot written to: huge.pdf\n");
    EXPECT_TRUE(pdf_reads("huge.pdf", false)); // the picture lies off the page, as on PostScript
    run("define/x tiny.png");
    run("define/x", "-5\n0 0\n");
    EXPECT_EQ(run("draw/x"), " PNG resolution limited to 15 pixels per inch.\n Plot written to: tiny.png\n");
    png("tiny.png", 0.1);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(".")) files.push_back(e.path().filename());
    std::sort(files.begin(), files.end());
    const std::vector<std::string> expected = {"huge.pdf", "huge.png", "taken.pdf", "tiny.png"};
    std::vector<std::string> ours;
    for (const std::string& f : files)
        if (f != "ro" && f.find(".ppm") == std::string::npos && f != "tool.log" && f != "info.txt") ours.push_back(f);
    EXPECT_EQ(ours, expected);
}

// The renderer on its own: moves only start strokes, lines end in round
// caps, and a picture too large to hold is refused instead of allocated.
TEST(CairoPicture, RoundCapsAndNoGiganticPictures) {
    StrokeList list;
    StrokeStyle thick;
    thick.width = 200.0f; // 0.2 inch: 20 pixels at 100 pixels per inch
    list.move(1000, 1000);
    list.move(3000, 4250); // only the last move counts
    list.draw(8000, 4250, thick);
    const auto rgb = render_rgb(list, 1100, 850);
    ASSERT_EQ(rgb.size(), 1100u * 850u * 3u);
    auto grey = [&rgb](int x, int y) { return rgb[3 * (static_cast<std::size_t>(y) * 1100 + x)]; };
    const int row = 850 - 425;
    EXPECT_LT(grey(500, row), 64);        // on the line
    EXPECT_LT(grey(292, row), 64);        // the round cap before its start
    EXPECT_GT(grey(292, row - 8), 192);   // ... but no square corner
    EXPECT_GT(grey(100, 850 - 100), 192); // the first move drew nothing
    EXPECT_GT(grey(500, row - 15), 192);  // 20 pixels wide, not more
    EXPECT_TRUE(render_rgb(list, 100000, 100000).empty());
    EXPECT_TRUE(render_png(list, 0, 10).empty());
    EXPECT_TRUE(render_file(list, PictureFormat::Png, 1e9).empty());
    EXPECT_FALSE(render_file(list, PictureFormat::Png, 10.0).empty());
}

// The PDF and SVG pages give cairo less to write and still show the same:
// an outline that ends where it began is closed (not a dashed one, nor one
// whose ends are shorter than the line is wide), a move to where the path
// ends continues it, and what lies wholly off the page is left out, but
// not a line whose edge reaches in. pdftoppm draws the page as it draws the
// same picture written plainly (the square as two open halves, nothing off
// the page).
struct VectorPages : ::testing::Test, testing_support::InScratchDir {
    // pdftoppm's drawing of the strokes as a PDF at 100 pixels per inch.
    static Picture as_pdf_draws(const StrokeList& list, const std::string& name) {
        { std::ofstream(name, std::ios::binary) << render_file(list, PictureFormat::Pdf, 0.0); }
        const auto page = picture_from("pdftoppm -r 100 -singlefile " + name + " page", "page.ppm");
        EXPECT_TRUE(page && page->width == 1100 && page->height == 850) << name << ": " << read_file("tool.log");
        return page.value_or(Picture{});
    }
};

TEST_F(VectorPages, WriteLessAndShowTheSame) {
    StrokeList list, plain;
    StrokeStyle pen, dashed, wide;
    pen.width = 20.0f;
    dashed.width = 20.0f;
    dashed.dash = 3;
    wide.width = 200.0f;
    auto polyline = [](StrokeList& l, std::initializer_list<std::pair<float, float>> points, const StrokeStyle& st) {
        bool first = true;
        for (const auto& [x, y] : points) {
            if (first)
                l.move(x, y);
            else
                l.draw(x, y, st);
            first = false;
        }
    };
    auto both = [&](std::initializer_list<std::pair<float, float>> points, const StrokeStyle& st) {
        polyline(list, points, st);
        polyline(plain, points, st);
    };
    polyline(list, {{1000, 1000}, {3000, 1000}, {3000, 3000}, {1000, 3000}, {1000, 1000}}, pen); // closed
    polyline(plain, {{1000, 1000}, {3000, 1000}, {3000, 3000}}, pen);
    polyline(plain, {{1000, 1000}, {1000, 3000}, {3000, 3000}}, pen);
    both({{4000, 1000}, {6000, 1000}, {6000, 3000}, {4000, 3000}, {4000, 1000}}, dashed); // drawn back
    both({{7500, 1000}, {7515, 1000}, {7515, 1015}, {7500, 1015}, {7500, 1000}}, pen);    // ends too short
    both({{1000, 5000}, {9000, 5000}}, pen);
    list.move(9000, 5000); // goes on without a new sub-path
    list.draw(9000, 7000, pen);
    plain.draw(9000, 7000, pen);
    polyline(list, {{-30000, 4000}, {-20000, 4000}}, pen); // wholly off the page
    both({{-50, 4000}, {-50, 7000}}, wide);                // its half-width of 100 reaches the page

    const std::string svg = render_file(list, PictureFormat::Svg, 0.0);
    auto count = [&svg](const std::string& what) {
        long n = 0;
        for (std::size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("Z"), 1) << svg;
    EXPECT_EQ(count("L "), 3 + 4 + 4 + 2 + 1) << svg; // square, dashed, small, corner line, edge line
    EXPECT_EQ(count("M 648 252"), 0) << svg;          // the corner line's move to (9000, 5000)
    EXPECT_EQ(count("-2160"), 0) << svg;              // -30000 page units in points
    EXPECT_EQ(count("M -3.5 324 L -3.5 108"), 1) << svg;

    if (!have_program("pdftoppm")) GTEST_SKIP() << "poppler-utils not installed";
    const Picture page = as_pdf_draws(list, "strokes.pdf");
    const Picture expected = as_pdf_draws(plain, "plain.pdf");
    ASSERT_EQ(page.rgb.size(), expected.rgb.size());
    // Pixels where one is dark and the other light: a line missing or
    // moved by a pixel makes hundreds.
    int unlike = 0;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) unlike += std::abs(page.grey(x, y) - expected.grey(x, y)) > 128;
    EXPECT_LT(unlike, 10);
    EXPECT_LT(page.grey(2, 850 - 550), 64);   // the edge line's part on the page
    EXPECT_LT(page.grey(100, 850 - 100), 64); // the closed square's corner
    EXPECT_GT(testing_support::ink(page), 0.005);
}

// A symbol's nested squares go into the PDF as rectangles ("re", four
// numbers each) and look as before: the page of 400 symbols takes well
// under the bytes of the same squares each with one corner a grid step
// askew (written point by point), and pdftoppm draws it as it draws the
// squares in the SVG file, which keeps them as paths.
TEST_F(VectorPages, UprightSquaresAreWrittenAsRectangles) {
    StrokeList upright, askew;
    StrokeStyle pen;
    auto square = [&pen](StrokeList& l, float x, float y, float half, float skew) {
        l.move(x - half, y - half);
        l.draw(x + half, y - half, pen);
        l.draw(x + half + skew, y + half, pen);
        l.draw(x - half, y + half, pen);
        l.draw(x - half, y - half, pen);
    };
    for (int i = 0; i < 400; ++i) {
        const float x = 1000.0f + 20.0f * static_cast<float>(i), y = 2000.0f + 7.0f * static_cast<float>(i % 50);
        for (int k = 0; k < 4; ++k) {
            const float half = 40.0f - 10.0f * static_cast<float>(k);
            square(upright, x, y, half, 0.0f);
            square(askew, x, y, half, 4.0f);
        }
    }
    const std::size_t rectangles = render_file(upright, PictureFormat::Pdf, 0.0).size();
    const std::size_t paths = render_file(askew, PictureFormat::Pdf, 0.0).size();
    EXPECT_LT(rectangles * 10, paths * 7) << rectangles << " bytes against " << paths;

    if (!have_program("pdftoppm") || !have_program("rsvg-convert")) GTEST_SKIP() << "poppler or librsvg missing";
    const Picture page = as_pdf_draws(upright, "squares.pdf");
    { std::ofstream("squares.svg", std::ios::binary) << render_file(upright, PictureFormat::Svg, 0.0); }
    const auto svg = picture_from("rsvg-convert -w 1100 -h 850 -b white squares.svg | pngtopnm >svg.ppm", "svg.ppm");
    ASSERT_TRUE(svg && svg->width == page.width && svg->height == page.height) << read_file("tool.log");
    EXPECT_GT(ink(page), 0.005);
    EXPECT_LT(testing_support::mean_difference(page, *svg, 110, 85), 2.0);
}

// In the statically linked program cairo's PDF streams are compressed at
// zlib's fastest level (the second byte of a zlib header says which:
// 0x01 fastest, 0x9c default); linked to the shared libraries, at cairo's
// default. The page reads either way.
TEST_F(VectorPages, PdfStreamsAtZlibsFastestLevelWhenLinkedStatically) {
    StrokeList list;
    StrokeStyle pen;
    for (int i = 0; i < 200; ++i) {
        list.move(1000.0f + 30.0f * static_cast<float>(i), 1000.0f);
        list.draw(1000.0f + 30.0f * static_cast<float>(i), 3000.0f + static_cast<float>(i % 7) * 50.0f, pen);
    }
    const std::string pdf = render_file(list, PictureFormat::Pdf, 0.0);
    const std::size_t at = pdf.find("stream\n");
    ASSERT_NE(at, std::string::npos);
    ASSERT_GT(pdf.size(), at + 9);
    EXPECT_EQ(static_cast<unsigned char>(pdf[at + 7]), 0x78);
#ifdef TARVA_FAST_PDF_DEFLATE
    EXPECT_EQ(static_cast<unsigned char>(pdf[at + 8]), 0x01);
#else
    EXPECT_EQ(static_cast<unsigned char>(pdf[at + 8]), 0x9c);
#endif
    if (!have_program("pdftoppm")) GTEST_SKIP() << "poppler-utils not installed";
    EXPECT_GT(ink(as_pdf_draws(list, "lines.pdf")), 0.001);
}

// A disk that fills up while the PDF is written: said at the picture and
// again at CLOSE, never "written" nor "closed", and no file or temporary
// left behind.
struct PictureFilesOnAFullDisk : testing_support::TarvaProcess {};

TEST_F(PictureFilesOnAFullDisk, NeverReportedAsWritten) {
    file("small.fit", "Small test\nX\nY\n5 1\n0\n1\n0\n1 2 0.5\n2 3 0.5\n3 5 0.5\n4 4 0.5\n");
    testing_support::ProcessOptions o;
    o.file_size_limit = 4096; // far less than a picture's PDF
    const testing_support::ProcessRun r = run("data small\ndraw/x\nclose\nexit\n", o);
    ASSERT_TRUE(r.exited_with(0)) << r.out << r.err;
    // Said only of a file that is in place.
    const std::string failed = " Unable to write plt01.pdf: the file was not changed.\n";
    EXPECT_THAT(r.out, HasSubstr(" fit> " + failed + " fit> " + failed));
    EXPECT_THAT(r.out, Not(HasSubstr("Plot written to")));
    EXPECT_THAT(r.out, Not(HasSubstr("file closed")));
    EXPECT_FALSE(exists("plt01.pdf"));
    for (const auto& e : fs::directory_iterator(path("")))
        EXPECT_THAT(e.path().filename().string(), Not(HasSubstr(".tmp"))) << e.path();
}

} // namespace
} // namespace tarva
