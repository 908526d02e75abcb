// The inline picture terminals (TERMIN/S sixel, TERMIN/K kitty): their bytes
// read back by real consumers (libsixel's sixel2png, netpbm's pngtopnm) equal the
// image cairo drew; the size asked from a terminal on a pseudo-terminal that
// answers, never answers (time-out, no hang) or is a plain file; huge
// DEFINE/S scales capped; TERMIN's qualifiers; no graphic input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command_fixture.h"
#include "graphics/drivers/device_table.h"
#include "graphics/drivers/image_terminal.h"
#include "picture_images.h"
#include "plot/device.h"
#include "plot/plot.h"

namespace tarva {
namespace {

using testing_support::decode_png;
using testing_support::have_program;
using testing_support::ink;
using testing_support::Picture;
using testing_support::read_file;

// Largest difference of one colour channel, and the mean over all.
struct Difference {
    int largest = 0;
    double mean = 0;
};

Difference compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    Difference d;
    if (a.size() != b.size() || a.empty()) return {255, 255.0};
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int e = std::abs(int(a[i]) - int(b[i]));
        d.largest = std::max(d.largest, e);
        sum += e;
    }
    d.mean = sum / static_cast<double>(a.size());
    return d;
}

// The picture cairo draws of the driver's strokes at 800 x 618; it must
// hold the box, the diagonal and the red line.
Picture drawn_picture(const ImageTerminalDriver& d) {
    Picture p{800, 618, render_rgb(d.strokes(), 800, 618, kThinnestLine)};
    EXPECT_GT(ink(p), 0.003);
    return p;
}

// Decoding base64 as the terminal does (RFC 4648 alphabet, '=' padding).
std::string unbase64(const std::string& text) {
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const auto k = digits.find(c);
        if (k == std::string::npos) return "<bad digit>";
        v = (v << 6) | static_cast<unsigned>(k);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((v >> bits) & 0xff));
        }
    }
    return out;
}

// One escape of the kitty graphics protocol: ESC _ G keys ; payload ESC \.
struct KittyChunk {
    std::string keys, payload;
};

// Splits a stream into its chunks; `rest` is what follows the last one.
std::vector<KittyChunk> kitty_chunks(const std::string& s, std::string& rest) {
    std::vector<KittyChunk> chunks;
    std::size_t at = 0;
    while (s.compare(at, 3, "\x1b_G") == 0) {
        const std::size_t semi = s.find(';', at);
        const std::size_t end = s.find("\x1b\\", at);
        if (semi == std::string::npos || end == std::string::npos || semi > end) break;
        chunks.push_back({s.substr(at + 3, semi - at - 3), s.substr(semi + 1, end - semi - 1)});
        at = end + 2;
    }
    rest = s.substr(at);
    return chunks;
}

// A pseudo-terminal standing in for the user's terminal: a thread reads
// everything the program writes to it and answers each device-attributes
// request (the end of every question) with `reply`, or stays silent when
// that is empty; `later` follows 100 ms after it, as over a slow line.
class FakeTerminal {
public:
    explicit FakeTerminal(std::string reply, std::string later = "")
        : reply_(std::move(reply)), later_(std::move(later)) {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        name_ = name;
        reader_ = std::thread([this] { serve(); });
    }
    ~FakeTerminal() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    FakeTerminal(const FakeTerminal&) = delete;
    FakeTerminal& operator=(const FakeTerminal&) = delete;

    const std::string& name() const { return name_; }
    int slave() const { return slave_; }
    // The window size in pixels the kernel keeps for the terminal.
    bool set_window(int width, int height) {
        winsize ws{24, 80, static_cast<unsigned short>(width), static_cast<unsigned short>(height)};
        return ::ioctl(master_, TIOCSWINSZ, &ws) == 0;
    }
    // Everything written to the terminal so far.
    std::string received() {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    // The questions asked so far.
    int queries() {
        const std::string r = received();
        int n = 0;
        for (std::size_t i = r.find("\x1b[c"); i != std::string::npos; i = r.find("\x1b[c", i + 1)) ++n;
        return n;
    }

private:
    void serve() {
        std::size_t answered = 0; // device-attribute requests answered
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) continue;
            const std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buf, static_cast<std::size_t>(n));
            std::size_t requests = 0;
            for (std::size_t i = received_.find("\x1b[c"); i != std::string::npos; i = received_.find("\x1b[c", i + 1))
                ++requests;
            for (; !reply_.empty() && answered < requests; ++answered) {
                if (::write(master_, reply_.data(), reply_.size()) < 0) break;
                if (later_.empty()) continue;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (::write(master_, later_.data(), later_.size()) < 0) break;
            }
        }
    }

    std::string reply_, later_;
    int master_ = -1, slave_ = -1;
    std::string name_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string received_;
};

struct ImageTerminals : testing_support::ScratchCommandFixture {
    // A picture on the terminal: the box, a diagonal, and a red line of
    // width 3 (DRAW/C), as DRAW would send it.
    void draw_picture() {
        float status = 0;
        begin_plot(s, kSqrt2, 'S', 0, 100, 0, 100, status);
        plot_pen(s, 'S', 0, 0, 3);
        for (auto [x, y] : {std::pair{100, 0}, {100, 100}, {0, 100}, {0, 0}, {100, 100}})
            plot_pen(s, 'S', static_cast<float>(x), static_cast<float>(y), 2);
        pen_changed(s, 2, 0);
        pen_changed(s, -3, 3);
        plot_pen(s, 'S', 10, 80, 3);
        plot_pen(s, 'S', 60, 20, 2);
        end_plot(s, 'S');
    }
    // Chooses the terminal type and sends the pictures to the pseudo-terminal.
    void show_on(const FakeTerminal& tty, const std::string& termin) {
        type(termin);
        type("dest " + tty.name());
        out.str("");
    }
    ImageTerminalDriver& sixel() { return s.graphics.drivers().sixel; }
    ImageTerminalDriver& kitty() { return s.graphics.drivers().kitty; }
    // How long the call took, in seconds.
    template <class F>
    static double timed(F f) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
};

TEST_F(ImageTerminals, SixelBytesDecodeWithLibsixelToTheImageCairoDrew) {
    type("termin/s");
    type("dest picture.six");
    draw_picture();
    // A file has no window to ask: the default size, said plainly.
    EXPECT_NE(out.str().find(" The plot destination picture.six is not a terminal: the picture is 800 x 618 pixels.\n"),
              std::string::npos)
        << out.str();
    const std::string bytes = read_file("picture.six");
    ASSERT_EQ(bytes, sixel().last_picture());
    EXPECT_EQ(bytes.substr(0, 2), "\x1bP");
    EXPECT_EQ(bytes.substr(bytes.size() - 4), "\x1b\\\r\n"); // string terminator, then the prompt's line
    const Picture drawn = drawn_picture(sixel());
    if (!have_program("sixel2png") || !have_program("pngtopnm")) GTEST_SKIP() << "sixel2png or pngtopnm not installed";
    ASSERT_EQ(std::system("sixel2png -i picture.six -o decoded.png"), 0);
    const auto decoded = decode_png("decoded.png");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width, 800);
    ASSERT_EQ(decoded->height, 618);
    // The palette holds each colour at four strengths blended with white,
    // so an antialiased edge pixel may move by up to 1/8 of the range.
    const Difference d = compare(decoded->rgb, drawn.rgb);
    EXPECT_LE(d.largest, 40);
    EXPECT_LT(d.mean, 1.0);
}

TEST_F(ImageTerminals, KittyStreamIsWellFormedAndItsPngIsTheImageCairoDrew) {
    type("termin/k");
    type("dest picture.kitty");
    draw_picture();
    const std::string bytes = read_file("picture.kitty");
    ASSERT_EQ(bytes, kitty().last_picture());
    std::string rest;
    const std::vector<KittyChunk> chunks = kitty_chunks(bytes, rest);
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(rest, "\r\n");
    std::string payload;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const bool last = i + 1 == chunks.size();
        const std::string more = last ? "m=0" : "m=1";
        EXPECT_EQ(chunks[i].keys, i == 0 ? "a=T,f=100,q=2," + more : more) << i;
        // Full chunks of 4096; the last one at most that; all whole quads.
        if (last)
            EXPECT_LE(chunks[i].payload.size(), 4096u);
        else
            EXPECT_EQ(chunks[i].payload.size(), 4096u) << i;
        EXPECT_EQ(chunks[i].payload.size() % 4, 0u);
        payload += chunks[i].payload;
    }
    const std::string png = unbase64(payload);
    ASSERT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    const Picture drawn = drawn_picture(kitty());
    if (!have_program("pngtopnm")) GTEST_SKIP() << "pngtopnm not installed";
    testing_support::write_file("payload.png", png);
    const auto decoded = decode_png("payload.png");
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->width, 800);
    ASSERT_EQ(decoded->height, 618);
    // PNG is lossless: the very pixels cairo drew.
    EXPECT_EQ(compare(decoded->rgb, drawn.rgb).largest, 0);
}

TEST(KittyEncoding, Base64AndChunkBoundaries) {
    // RFC 4648's test vectors.
    EXPECT_EQ(base64(""), "");
    EXPECT_EQ(base64("f"), "Zg==");
    EXPECT_EQ(base64("fo"), "Zm8=");
    EXPECT_EQ(base64("foo"), "Zm9v");
    EXPECT_EQ(base64("foobar"), "Zm9vYmFy");
    // 6144 bytes are exactly two chunks of 4096 characters; one more byte
    // makes a third, short one.
    std::string rest;
    auto two = kitty_chunks(encode_kitty(std::string(6144, 'x')), rest);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].keys, "m=0");
    EXPECT_EQ(two[1].payload.size(), 4096u);
    auto three = kitty_chunks(encode_kitty(std::string(6145, 'x')), rest);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[1].keys, "m=1");
    EXPECT_EQ(three[2].payload, "eA==");
    EXPECT_EQ(encode_kitty(""), "");
}

TEST_F(ImageTerminals, PictureFitsTheWindowOfATerminalThatAnswers) {
    FakeTerminal tty("\x1b[4;700;1000t\x1b[?62;4c");
    ASSERT_FALSE(tty.name().empty());
    termios before{};
    ASSERT_EQ(::tcgetattr(tty.slave(), &before), 0);
    show_on(tty, "termin/s");
    draw_picture();
    // A window of 1000 x 700: the page's shape in 85% of its height.
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(sixel().last_size().width, 770);
    EXPECT_EQ(sixel().last_size().height, 595);
    const std::string got = tty.received();
    EXPECT_NE(got.find("\x1b[14t"), std::string::npos);
    EXPECT_NE(got.find("\x1bP"), std::string::npos);
    // The terminal's mode is put back after the question.
    termios after{};
    ASSERT_EQ(::tcgetattr(tty.slave(), &after), 0);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
    // An answering terminal is asked again at the next picture (its window
    // may have changed); DEFINE/S scales the picture.
    run("define/s", "0.5\n\n");
    draw_picture();
    EXPECT_EQ(tty.queries(), 2);
    EXPECT_EQ(sixel().last_size().width, 385);
}

// A terminal whose attributes leave out sixel graphics (feature 4) is sent
// the picture with a word that it may not show, once.
TEST_F(ImageTerminals, ATerminalWithoutSixelIsTold) {
    FakeTerminal tty("\x1b[4;700;1000t\x1b[?62;1;22c");
    ASSERT_FALSE(tty.name().empty());
    show_on(tty, "termin/s");
    draw_picture();
    draw_picture();
    EXPECT_EQ(out.str(), " The terminal " + tty.name() +
                             " does not list sixel graphics among its features: the picture may not show.\n");
    EXPECT_EQ(sixel().last_size().width, 770);
}

TEST_F(ImageTerminals, ATerminalThatNeverAnswersTimesOutOnce) {
    FakeTerminal tty("");
    ASSERT_FALSE(tty.name().empty());
    show_on(tty, "termin/k");
    const double first = timed([&] { draw_picture(); });
    EXPECT_GE(first, kTerminalQueryMs / 1000.0 * 0.9);
    EXPECT_LT(first, 3.0);
    EXPECT_EQ(out.str(),
              " The terminal " + tty.name() + " did not report its size: the picture is 800 x 618 pixels.\n");
    EXPECT_EQ(kitty().last_size().width, 800);
    // Not asked again, and not told again.
    out.str("");
    const double second = timed([&] { draw_picture(); });
    EXPECT_LT(second, kTerminalQueryMs / 1000.0 * 0.9); // no second wait
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(tty.queries(), 1);
    EXPECT_NE(tty.received().find("\x1b_Ga=T"), std::string::npos);
}

// The window size the kernel keeps (xterm, kitty, foot, WezTerm and ssh
// fill it in) needs no question; a sixel terminal is still asked for the
// largest picture it draws, not for its window.
TEST_F(ImageTerminals, TheKernelsWindowSizeNeedsNoQuestion) {
    FakeTerminal tty("\x1b[?2;0;600;1000S\x1b[?62;4c");
    ASSERT_FALSE(tty.name().empty());
    ASSERT_TRUE(tty.set_window(1000, 700));
    show_on(tty, "termin/k");
    draw_picture();
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(kitty().last_size().width, 770);
    EXPECT_EQ(tty.queries(), 0);
    type("termin/s");
    draw_picture();
    EXPECT_EQ(sixel().last_size().width, 600);
    EXPECT_EQ(sixel().last_size().height, 464);
    const std::string got = tty.received();
    EXPECT_EQ(got.find("\x1b[14t"), std::string::npos);
    EXPECT_NE(got.find("\x1b[?2;1;0S"), std::string::npos);
}

TEST_F(ImageTerminals, HugeAndTinyScalesAreCapped) {
    type("termin/s");
    type("dest big.six");
    run("define/s", "1e6\n\n");
    draw_picture();
    EXPECT_NE(out.str().find(" Picture size limited to 4096 x 3165 pixels.\n"), std::string::npos) << out.str();
    EXPECT_EQ(sixel().last_size().width, kMaxPicturePixels);
    EXPECT_NE(read_file("big.six").find("\"1;1;4096;3165"), std::string::npos);
    bool limited = false;
    PixelSize p = picture_pixels(std::nullopt, 1e-9f, limited);
    EXPECT_TRUE(limited);
    EXPECT_EQ(p.width, kMinPicturePixels);
    p = picture_pixels(PixelSize{1000, 700}, std::nanf(""), limited);
    EXPECT_FALSE(limited);
    EXPECT_EQ(p.width, 770);
    p = picture_pixels(PixelSize{0, 700}, -2.0f, limited);
    EXPECT_EQ(p.width, kDefaultPicture.width);
}

// Windows and points far out of range (zero span, infinities, NaN) still
// give a whole picture: cairo is handed only coordinates it can take.
TEST_F(ImageTerminals, WildCoordinatesStillGiveAPicture) {
    type("termin/k");
    type("dest wild.kitty");
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    float status = 0;
    begin_plot(s, kSqrt2, 'S', 0, 1e-38f, -1e38f, 1e38f, status);
    plot_pen(s, 'S', 0, 0, 3);
    for (auto [x, y] : {std::pair{inf, 1.0f}, {nan, nan}, {-inf, 1e38f}, {1e-39f, -1e38f}}) plot_pen(s, 'S', x, y, 2);
    end_plot(s, 'S');
    std::string rest;
    EXPECT_GE(kitty_chunks(read_file("wild.kitty"), rest).size(), 1u);
    EXPECT_EQ(rest, "\r\n");
    EXPECT_EQ(out.str().find("Unable to draw"), std::string::npos) << out.str();
}

TEST(TerminalQuery, SizeReportsAreRead) {
    PixelSize p;
    EXPECT_TRUE(parse_pixel_report("\x1b[4;600;900t\x1b[?62;4c", p));
    EXPECT_EQ(p.width, 900);
    EXPECT_EQ(p.height, 600);
    // With the largest sixel picture told too, the smaller of each side.
    EXPECT_TRUE(parse_pixel_report("\x1b[4;600;900t\x1b[?2;0;800;1000S\x1b[?62;4c", p));
    EXPECT_EQ(p.width, 800);
    EXPECT_EQ(p.height, 600);
    EXPECT_TRUE(parse_pixel_report("\x1b[?2;0;640;480S", p));
    EXPECT_EQ(p.width, 640);
    // Errors, zero sizes, absurd numbers and other reports are no size.
    for (const char* bad :
         {"\x1b[?2;3;0S", "\x1b[4;0;900t", "\x1b[8;24;80t", "\x1b[4;99999999;900t", "\x1b[4;60x;9t", "\x1b[?62;4c", ""})
        EXPECT_FALSE(parse_pixel_report(bad, p)) << bad + 1;
    // A file is not a terminal.
    testing_support::TempDir dir;
    testing_support::write_file("plain", "");
    EXPECT_EQ(query_terminal_pixels("plain", true, 100).answer, TerminalAnswer::NotTerminal);
    EXPECT_EQ(query_terminal_pixels("missing/nowhere", true, 100).answer, TerminalAnswer::NotTerminal);
}

// The size question reads exactly one reply, up to the end of its device
// attributes: keys typed right after it stay for the command line, an
// over-long reply is read to its end, and a garbled one that never ends is
// thrown away, so none of it reaches the next prompt (both come in two
// parts, the second one after the first 4 KiB were read).
TEST(TerminalQuery, ExactlyOneReplyIsRead) {
    struct Case {
        std::string reply, later, left;
        TerminalAnswer answer;
    };
    const std::string size = "\x1b[4;700;1000t", attributes = "\x1b[?62;4c";
    for (const Case& c :
         {Case{size + attributes + "exit\r", "", "exit\r", TerminalAnswer::Answered},
          Case{size + std::string(5000, ';'), std::string(1000, ';') + attributes, "", TerminalAnswer::Answered},
          Case{"\x1b[4;70" + std::string(5000, 'x'), std::string(1000, 'x'), "", TerminalAnswer::NoAnswer}}) {
        FakeTerminal tty(c.reply, c.later);
        ASSERT_FALSE(tty.name().empty());
        termios raw{};
        ASSERT_EQ(::tcgetattr(tty.slave(), &raw), 0);
        ::cfmakeraw(&raw);
        ASSERT_EQ(::tcsetattr(tty.slave(), TCSANOW, &raw), 0);
        const TerminalSize t = query_terminal_pixels(tty.name(), false, kTerminalQueryMs);
        EXPECT_EQ(t.answer, c.answer) << c.reply.size();
        // What reaches the program's input afterwards.
        std::string left;
        pollfd p{tty.slave(), POLLIN, 0};
        while (::poll(&p, 1, 300) > 0) {
            char buf[4096];
            const ssize_t n = ::read(tty.slave(), buf, sizeof buf);
            if (n <= 0) break;
            left.append(buf, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(left.size(), c.left.size()) << c.reply.size();
        EXPECT_EQ(left.substr(0, 40), c.left) << c.reply.size();
    }
}

// A run in the background of its terminal does not ask it (changing the
// terminal's mode would stop the run with SIGTTOU): a child makes the
// pseudo-terminal its controlling terminal, a grandchild in another process
// group asks with a long time-out and must come back at once.
TEST(TerminalQuery, ARunInTheBackgroundDoesNotAsk) {
    // No reader thread here: the process forks.
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const std::string tty_name = name;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::setsid();
        const int fd = ::open(tty_name.c_str(), O_RDWR); // becomes the controlling terminal
        if (fd < 0 || ::tcgetpgrp(fd) != ::getpgrp()) ::_exit(3);
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::setpgid(0, 0);
            ::alarm(4);
            const TerminalSize t = query_terminal_pixels(tty_name, true, 3000);
            ::_exit(t.answer == TerminalAnswer::NoAnswer && !t.silent ? 0 : 4);
        }
        int status = 0;
        // WUNTRACED: a grandchild stopped by SIGTTOU counts as a failure.
        if (::waitpid(grandchild, &status, WUNTRACED) != grandchild) ::_exit(5);
        if (WIFSTOPPED(status)) {
            ::kill(grandchild, SIGKILL);
            ::_exit(6);
        }
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 7);
    }
    int status = 0;
    const double took = ImageTerminals::timed([&] { ::waitpid(child, &status, 0); });
    ::close(slave);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LT(took, 2.0);
}

TEST_F(ImageTerminals, TerminQualifiersChooseThemAndTheMenuStaysTheTenTypes) {
    type("termin 3");
    type("termin/s");
    EXPECT_EQ(s.graphics.terminal_type, kSixelType);
    type("termin/k");
    EXPECT_EQ(s.graphics.terminal_type, kKittyType);
    type("termin/r");
    EXPECT_EQ(s.graphics.terminal_type, kSixelType);
    EXPECT_EQ(s.graphics.previous_terminal_type, kKittyType);
    EXPECT_EQ(out.str(), "");
    // Numbers past ten are not the image terminals: the menu, unchanged.
    in.str("11\n");
    type("termin 11");
    EXPECT_EQ(s.graphics.terminal_type, 1);
    EXPECT_NE(out.str().find(" 10 MAC NSCA 4014 emulation (not recommended)\n >  Terminal type  1 selected.\n"),
              std::string::npos)
        << out.str();
    // No graphic input on the image terminals.
    type("termin/s");
    out.str("");
    char key = ' ';
    float x = 1, y = 1;
    type("dest cross.six");
    EXPECT_FALSE(cross_hair(s, 'S', key, x, y));
    EXPECT_NE(out.str().find(" Cross hair mode is not supported by this device.\n"), std::string::npos);
    EXPECT_EQ(key, 'Q');
}

TEST_F(ImageTerminals, AnnotationsResendThePictureAndClearFlagOffDrawsOver) {
    type("termin/k");
    type("dest pictures.kitty");
    draw_picture();
    const std::size_t strokes = kitty().strokes().points().size();
    // An annotation: vectors and the end of a drawing, no new picture.
    plot_pen(s, 'S', 50, 50, 3);
    plot_pen(s, 'S', 50, 90, 2);
    end_plot(s, 'S');
    EXPECT_EQ(kitty().strokes().points().size(), strokes + 2);
    const std::string both = read_file("pictures.kitty");
    std::size_t pictures = 0;
    for (std::size_t i = both.find("a=T"); i != std::string::npos; i = both.find("a=T", i + 1)) ++pictures;
    EXPECT_EQ(pictures, 2u);
    // With the clear flag off the next picture keeps the strokes; with it
    // on it starts afresh.
    s.graphics.clear_flag = false;
    draw_picture();
    EXPECT_GT(kitty().strokes().points().size(), strokes + 2);
    s.graphics.clear_flag = true;
    draw_picture();
    EXPECT_EQ(kitty().strokes().points().size(), strokes);
}

} // namespace
} // namespace tarva
