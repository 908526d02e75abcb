// BG: the background buffer. Loads the data into it or back out of it, and
// subtracts, adds, multiplies or divides the data by it, interpolating the
// buffer linearly at each data abscissa.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr float kTolerance = 1e-10f;
const std::string kBell(1, '\a');

bool near(float a, float b) { return std::fabs(a - b) <= kTolerance; }

void show_menu(Session& s) {
    OutputSink& o = s.out();
    o.blank_line();
    o.blank_line();
    o.line("Background subtraction options:");
    o.blank_line();
    o.line(" D   Divide present data by the backgroung data");
    o.line(" L   Load present data into background buffer (data must");
    o.line("     be in order of ascending x-values)");
    o.line(" M   Multiply the preset data by the background buffer");
    o.line(" R   Load background buffer into the main buffer");
    o.blank_line();
    o.line(" S   Subtract data in background buffer from present data");
    o.line(" A   Add data in background buffer to present data");
    o.line("<CR> Exit");
}

// BG/L. The buffer is kept in ascending order of X, which the interpolation
// needs: data given in another order are sorted (stably) as they are copied.
void load_buffer(Session& s) {
    const DataSet& d = s.data;
    if (d.count < 2) {
        s.out().line("One or less data point is not enough!" + kBell);
        return;
    }
    std::vector<std::size_t> order(static_cast<std::size_t>(d.count));
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return d.X[a] < d.X[b]; });
    BackgroundBuffer& b = s.data.background;
    b = BackgroundBuffer{};
    for (std::size_t i = 0; i < order.size(); ++i) {
        b.x[i] = d.X[order[i]];
        b.y[i] = d.Y[order[i]];
    }
    b.count = d.count;
    s.out().line("Data loaded into background buffer");
    s.out().blank_line();
}

bool buffer_empty(Session& s) {
    if (s.data.background.count >= 2) return false;
    s.out().line("Background buffer empty!" + kBell);
    return true;
}

// BG/R.
void restore_buffer(Session& s) {
    if (buffer_empty(s)) return;
    DataSet& d = s.data;
    const BackgroundBuffer& b = d.background;
    for (std::size_t i = 0; i < static_cast<std::size_t>(b.count); ++i) {
        d.X[i] = static_cast<float>(b.x[i]);
        d.Y[i] = static_cast<float>(b.y[i]);
        d.SIGMA[i] = 0.0f;
    }
    d.count = b.count;
    s.out().line("Background buffer loaded into main buffer");
    s.out().blank_line();
}

// The background at abscissa x.
// Points at or outside the ends of the buffer get nothing and stay as they
// are; `failed` is set when no buffer interval holds x.
struct Lookup {
    std::optional<double> value;
    bool failed = false;
};

Lookup background_at(Session& s, float x) {
    const BackgroundBuffer& b = s.data.background;
    const std::size_t last = static_cast<std::size_t>(b.count) - 1;
    const float first_x = static_cast<float>(b.x[0]), last_x = static_cast<float>(b.x[last]);
    if (near(x, first_x) || x < first_x || near(x, last_x) || x > last_x) return {};
    for (std::size_t j = 0; j < last; ++j) {
        const float xj = static_cast<float>(b.x[j]), xk = static_cast<float>(b.x[j + 1]);
        if (near(x, xj)) return {b.y[j], false};
        if (xj < x && x < xk) {
            const double width = b.x[j + 1] - b.x[j];
            if (std::fabs(width) > kTolerance) return {b.y[j] + (x - b.x[j]) * (b.y[j + 1] - b.y[j]) / width, false};
            // Abscissae too close to form a slope. A point between them is
            // within the tolerance of xb(j) and has matched it above, so this
            // is a safeguard; it uses the value at xb(j) as that match does.
            s.out().line("Identical x-values in background buffer at " + format_I(static_cast<long long>(j) + 1, 4) +
                         kBell);
            return {b.y[j], false};
        }
    }
    return {std::nullopt, true};
}

// BG/S, A, M and D.
void combine(Session& s, char op) {
    if (buffer_empty(s)) return;
    DataSet& d = s.data;
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) {
        const long long point = static_cast<long long>(i) + 1;
        const Lookup found = background_at(s, d.X[i]);
        if (found.failed) {
            s.out().line("Unknown error at point " + format_I(point, 4) + kBell);
            return;
        }
        if (!found.value) continue;
        double bg = *found.value;
        switch (op) {
        case 'S': d.Y[i] = static_cast<float>(d.Y[i] - bg); break;
        case 'A': {
            d.Y[i] = static_cast<float>(d.Y[i] + bg);
            const float err = std::sqrt(std::fabs(d.Y[i]));
            d.SIGMA[i] = err > 0.0f ? err : 1.0f;
            break;
        }
        case 'M':
            // An uncertainty stays positive when the background is negative.
            d.Y[i] = static_cast<float>(d.Y[i] * bg);
            d.SIGMA[i] = static_cast<float>(d.SIGMA[i] * std::fabs(bg));
            break;
        default: // 'D'
            if (std::fabs(bg) < 1e-20) {
                s.out().line(" Background buffer zero near point " + format_I(point, 0));
                bg = 1.0;
            }
            d.Y[i] = static_cast<float>(d.Y[i] / bg);
            d.SIGMA[i] = static_cast<float>(d.SIGMA[i] / std::fabs(bg));
            break;
        }
    }
    const char* done = op == 'S'   ? "Subtraction of background performed."
                       : op == 'A' ? "Addition of background performed."
                       : op == 'M' ? "Multiplication by background performed."
                                   : "Division by background performed.";
    s.out().line(done);
    s.out().blank_line();
}

} // namespace

void cmd_bg(Session& s, CommandContext& ctx) {
    char option = ctx.qualifier;
    if (option == ' ') {
        show_menu(s);
        auto answer = ask_text(s, " Option > ", 1);
        if (!answer) return;
        option = upper(*answer)[0];
    }
    switch (option) {
    case 'L': load_buffer(s); break;
    case 'R': restore_buffer(s); break;
    case 'S':
    case 'A':
    case 'M':
    case 'D': combine(s, option); break;
    default: // blank ends BG; other letters do nothing
        break;
    }
}

} // namespace tarva
