#include "graphics/drivers/terminal_query.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

namespace tarva {

namespace {

// The numbers of a control sequence "ESC [ <prefix> n;n;... <final>"
// starting at `from`; empty when there is none.
std::vector<long> sequence_numbers(std::string_view s, std::size_t from, std::string_view prefix, char final_char,
                                   std::size_t& end) {
    std::vector<long> v;
    std::size_t p = from + 2 + prefix.size();
    if (s.substr(from, 2) != "\x1b[" || s.substr(from + 2, prefix.size()) != prefix) return {};
    long n = 0;
    bool digits = false;
    for (; p < s.size(); ++p) {
        const char c = s[p];
        if (c >= '0' && c <= '9') {
            n = n * 10 + (c - '0');
            if (n > 1000000) return {};
            digits = true;
        } else if (c == ';') {
            v.push_back(digits ? n : 0);
            n = 0;
            digits = false;
        } else if (c == final_char) {
            v.push_back(digits ? n : 0);
            end = p + 1;
            return v;
        } else {
            return {};
        }
    }
    return {};
}

// The numbers of the device-attributes answer ESC [ ? class ; features c,
// empty when there is none.
std::vector<long> device_attributes(std::string_view s) {
    for (std::size_t i = s.find("\x1b[?"); i != std::string_view::npos; i = s.find("\x1b[?", i + 1)) {
        std::size_t end = 0;
        auto v = sequence_numbers(s, i, "?", 'c', end);
        if (!v.empty()) return v;
    }
    return {};
}

bool has_device_attributes(std::string_view s) { return !device_attributes(s).empty(); }

// Whether `s` ends with a device-attributes answer: the end of a reply.
bool ends_with_device_attributes(std::string_view s) {
    if (s.empty() || s.back() != 'c') return false;
    const std::size_t start = s.rfind("\x1b[?");
    std::size_t end = 0;
    return start != std::string_view::npos && !sequence_numbers(s, start, "?", 'c', end).empty() && end == s.size();
}

using Clock = std::chrono::steady_clock;

// Waits until `fd` has input or `until` has passed.
bool input_before(int fd, Clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(left)) > 0 && (p.revents & POLLIN);
}

// One reply is read up to the end of its device attributes, byte by byte,
// so that keys typed after it stay for the command line. Only its first
// part is kept to be read (a size report comes first); the rest of an
// over-long reply is read only to find its end.
constexpr std::size_t kKeptReply = 4096;
// A reply that did not end in time (garbled, or cut short) is read and
// thrown away while more of it comes, until the terminal has been quiet
// this long, but no longer than the second limit; then whatever is left
// in the input is flushed, so none of it reaches the next prompt.
constexpr auto kQuiet = std::chrono::milliseconds(100);
constexpr auto kMostDiscarding = std::chrono::milliseconds(500);

// Sends `query` to the terminal in raw mode and reads its one reply until
// its device attributes arrive or `timeout_ms` pass. nullopt when the mode
// cannot be set or the question not sent.
std::optional<std::string> ask(int fd, const std::string& query, int timeout_ms) {
    termios old{};
    if (::tcgetattr(fd, &old) != 0) return std::nullopt;
    termios raw = old;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) return std::nullopt;
    struct Restore {
        int fd;
        termios mode;
        ~Restore() { ::tcsetattr(fd, TCSANOW, &mode); }
    } restore{fd, old};
    if (::write(fd, query.data(), query.size()) != static_cast<ssize_t>(query.size())) return std::nullopt;
    std::string answer, tail; // the kept part; the last bytes, where the end shows
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    bool ended = false;
    while (!ended && input_before(fd, deadline)) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;
        if (answer.size() < kKeptReply) answer.push_back(c);
        tail.push_back(c);
        if (tail.size() > 256) tail.erase(0, 128);
        ended = ends_with_device_attributes(tail);
    }
    if (!ended) {
        const auto give_up = Clock::now() + kMostDiscarding;
        char buf[256];
        while (input_before(fd, std::min(give_up, Clock::now() + kQuiet))) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
        }
        ::tcflush(fd, TCIFLUSH);
        return answer;
    }
    if (answer.size() == kKeptReply) answer += tail; // an over-long reply: its end, for the attributes
    return answer;
}

PixelSize smaller(PixelSize a, PixelSize b) { return {std::min(a.width, b.width), std::min(a.height, b.height)}; }

} // namespace

bool parse_pixel_report(std::string_view answer, PixelSize& size) {
    std::optional<PixelSize> window, graphics;
    for (std::size_t i = answer.find('\x1b'); i != std::string_view::npos; i = answer.find('\x1b', i + 1)) {
        std::size_t end = 0;
        // Window size: ESC [ 4 ; height ; width t
        auto v = sequence_numbers(answer, i, "", 't', end);
        if (v.size() == 3 && v[0] == 4 && v[1] > 0 && v[2] > 0) window = PixelSize{int(v[2]), int(v[1])};
        // Largest sixel picture: ESC [ ? 2 ; 0 ; width ; height S
        v = sequence_numbers(answer, i, "?", 'S', end);
        if (v.size() == 4 && v[0] == 2 && v[1] == 0 && v[2] > 0 && v[3] > 0) graphics = PixelSize{int(v[2]), int(v[3])};
    }
    if (!window && !graphics) return false;
    // Both told: the window, no larger than the terminal will draw.
    size = window ? *window : *graphics;
    if (window && graphics) size = smaller(*window, *graphics);
    return true;
}

TerminalSize query_terminal_pixels(const std::string& path, bool sixel, int timeout_ms) {
    TerminalSize r;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return r;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (!::isatty(fd)) return r;
    r.answer = TerminalAnswer::NoAnswer;
    std::optional<PixelSize> window;
    winsize ws{};
    if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_xpixel > 0 && ws.ws_ypixel > 0)
        window = PixelSize{ws.ws_xpixel, ws.ws_ypixel};
    // A run in the background must not touch its controlling terminal: the
    // change of mode would stop it (SIGTTOU) until it is brought forward.
    const pid_t foreground = ::tcgetpgrp(fd);
    const bool background = foreground != -1 && foreground != ::getpgrp();
    // The kernel's window is enough but for a sixel terminal's limit.
    if (timeout_ms > 0 && !background && (!window || sixel)) {
        const std::string query = std::string(window ? "" : "\x1b[14t") + (sixel ? "\x1b[?2;1;0S" : "") + "\x1b[c";
        const std::optional<std::string> answer = ask(fd, query, timeout_ms);
        PixelSize told;
        if (answer && parse_pixel_report(*answer, told)) window = window ? smaller(*window, told) : told;
        r.silent = !answer || !has_device_attributes(*answer);
        if (sixel && !r.silent) {
            // Feature 4 of the attributes is sixel graphics.
            const std::vector<long> da = device_attributes(*answer);
            r.no_sixel = std::find(da.begin() + 1, da.end(), 4L) == da.end();
        }
    }
    if (window) {
        r.answer = TerminalAnswer::Answered;
        r.size = *window;
    }
    return r;
}

} // namespace tarva
