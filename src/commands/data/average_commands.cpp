// AVERAG: statistics of the points, the weighted mean of Y, smoothing with
// a sliding window of weighted means, and compression of groups of points.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

namespace {

// A window or group wider than any data set: keeps the arithmetic in range.
constexpr int kMaxWidth = 100000;

// Weights 1/SIGMA^2 for the weighted means of W and S: a SIGMA of (almost)
// zero counts as 1e-10 and is reported for the first ten such points.
class ErrorWeights {
public:
    explicit ErrorWeights(Session& s) : s_(s) {}
    double operator()(std::size_t i) {
        double e = s_.data.SIGMA[i];
        if (std::fabs(e) < 1e-30) {
            e = 1e-10;
            if (++reported_ <= 10)
                s_.out().line("Zero error bar found at point " + format_I(static_cast<long long>(i) + 1, 4) +
                              ", error set to 1.0e-10");
        }
        return 1.0 / (e * e);
    }

private:
    Session& s_;
    int reported_ = 0;
};

// Statistics of one column: mean from a single-precision sum, sample
// standard deviation in double precision.
void column_statistics(Session& s, const std::string& title, const float* v, int n) {
    float sum = 0.0f;
    float lo = v[0], hi = v[0];
    for (int i = 0; i < n; ++i) {
        sum += v[i];
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
    const float mean = sum / static_cast<float>(n);
    double squares = 0.0;
    for (int i = 0; i < n; ++i) squares += (static_cast<double>(v[i]) - mean) * (static_cast<double>(v[i]) - mean);
    const double deviation = n > 1 ? std::sqrt(squares / (n - 1)) : squares;
    s.out().line(title + g13(mean) + " (std. dev.: " + g13(deviation) + ")");
    s.out().line("       (min: " + g13(lo) + " max: " + g13(hi) + " +/-: " + g13((static_cast<double>(hi) - lo) / 2.0) +
                 ")");
}

void statistics(Session& s) {
    const DataSet& d = s.data;
    column_statistics(s, " Ave. X coord. ", d.X.data(), d.count);
    column_statistics(s, " Ave. Y coord. ", d.Y.data(), d.count);
    column_statistics(s, " Ave. err. bar ", d.SIGMA.data(), d.count);
}

void weighted_mean(Session& s) {
    s.out().line("Computing weighted means.");
    s.out().blank_line();
    ErrorWeights weight(s);
    double sum_w = 0.0, sum_yw = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(s.data.count); ++i) {
        const double w = weight(i);
        sum_w += w;
        sum_yw += s.data.Y[i] * w;
    }
    s.out().line("WEIGHTED MEAN OF Y VALUES = " + g13(sum_yw / sum_w));
    s.out().line("  UNCERTAINTY IN THE MEAN = " + g13(1.0 / std::sqrt(sum_w)));
    s.out().blank_line();
}

// The rounded numeric argument, or the answer to the prompt when that is
// below 1; nothing when the input ended or the answer is below 1.
std::optional<int> width_argument(Session& s, double number, const std::string& prompt) {
    int n = round_nearest(number);
    if (n < 1) {
        auto answer = ask_real(s, prompt);
        if (!answer) return std::nullopt;
        n = round_nearest(*answer);
        if (n < 1) return std::nullopt;
    }
    return std::min(n, kMaxWidth);
}

// Makes the new columns the data set. The places beyond the new count keep
// what they held, as for every command that shrinks the data set.
void replace_points(DataSet& d, const std::vector<float>& x, const std::vector<float>& y, const std::vector<float>& e) {
    std::copy(x.begin(), x.end(), d.X.begin());
    std::copy(y.begin(), y.end(), d.Y.begin());
    std::copy(e.begin(), e.end(), d.SIGMA.begin());
    d.count = static_cast<int>(x.size());
}

void smooth(Session& s, double number) {
    OutputSink& out = s.out();
    if (round_nearest(number) < 1) {
        out.blank_line();
        out.line("Smooth the data using a +/-N point window.");
        out.blank_line();
    }
    const auto half = width_argument(s, number, "Half width of window, N ? > ");
    if (!half) return;
    const int n = *half;
    out.blank_line();
    out.line("Smoothing the data with a +/-" + format_I(n, 2) + " window, a total");
    out.line("of " + format_I(2 * n + 1, 2) + " points in the window.");
    DataSet& d = s.data;
    // The window must fit at least once, or the data set would be emptied.
    if (d.count < 2 * n + 1) {
        out.line("Insufficient data for this window.");
        return;
    }
    ErrorWeights weight(s);
    std::vector<float> x, y, e;
    for (int i = n; i < d.count - n; ++i) {
        double sum_w = 0.0, sum_yw = 0.0;
        for (int j = i - n; j <= i + n; ++j) {
            const double w = weight(static_cast<std::size_t>(j));
            sum_w += w;
            sum_yw += d.Y[static_cast<std::size_t>(j)] * w;
        }
        x.push_back(d.X[static_cast<std::size_t>(i)]);
        y.push_back(static_cast<float>(sum_yw / sum_w));
        e.push_back(static_cast<float>(1.0 / std::sqrt(sum_w)));
    }
    replace_points(d, x, y, e);
    out.line("Y replaced with weighted means of groups of " + format_I(2 * n + 1, 3) + " old Y values");
    out.line(" Yerr likewise.");
}

void compress(Session& s, double number) {
    OutputSink& out = s.out();
    out.line("Compress the data.");
    out.blank_line();
    const auto group = width_argument(s, number, "Number of data points to be grouped into one new data point > ");
    if (!group) return;
    const int m = *group;
    out.line(format_I(m, 3) + " old data points grouped to form 1 new data point.");
    out.blank_line();
    DataSet& d = s.data;
    // Not one complete group: compressing would leave no data at all.
    if (d.count < m) {
        out.line("Too few data points for this!");
        out.blank_line();
        return;
    }
    int reported = 0;
    std::vector<float> x, y, e;
    for (int first = 0; first + m <= d.count; first += m) {
        double sum_x = 0.0, sum_w = 0.0, sum_yw = 0.0;
        for (int j = first; j < first + m; ++j) {
            const auto k = static_cast<std::size_t>(j);
            float variance = d.SIGMA[k] * d.SIGMA[k];
            if (variance < 1e-20f) {
                variance = 1e-20f;
                if (++reported <= 10) out.line("Zero error bar at " + format_I(j + 1, 4) + " error set to 1.0e-10");
            }
            const double w = 1.0 / variance;
            sum_x += d.X[k];
            sum_w += w;
            sum_yw += d.Y[k] * w;
        }
        if (sum_w < 1e-20) {
            sum_w = 1e-20;
            out.line("Zero error in group " + format_I(first + 1, 4) + " error set to 1.0e-20.");
        }
        x.push_back(static_cast<float>(sum_x / m));
        y.push_back(static_cast<float>(sum_yw / sum_w));
        e.push_back(static_cast<float>(1.0 / std::sqrt(sum_w)));
    }
    const int old_count = d.count;
    replace_points(d, x, y, e);
    out.line("X replaced by means, Y and Yerr by weighted means.");
    out.line("Old number of data points " + format_I(old_count, 4) + ", new number: " + format_I(d.count, 4));
}

} // namespace

void cmd_average(Session& s, CommandContext& ctx) {
    const char q = ctx.qualifier;
    const bool needs_points = q == ' ' || q == 'W';
    if (needs_points && s.data.count <= 0) {
        s.out().line("? No data!");
        return;
    }
    switch (q) {
    case ' ': statistics(s); return;
    case 'W': weighted_mean(s); return;
    case 'S': smooth(s, ctx.number); return;
    case 'C': compress(s, ctx.number); return;
    default: s.out().line(std::string("Unknown option - ") + q); s.out().blank_line();
    }
}

} // namespace tarva
