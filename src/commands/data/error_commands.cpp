// ERROR recomputes the error bars; FUZZ adds reproducible noise to Y.
#include <cmath>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

template <typename F>
void each_sigma(DataSet& d, F&& f) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) d.SIGMA[i] = static_cast<float>(f(i));
}

} // namespace

void cmd_error(Session& s, CommandContext& ctx) {
    DataSet& d = s.data;
    if (d.count == 0) return;
    switch (ctx.qualifier) {
    case 'P': {
        auto percent = ask_real(s, "New error = A% of Y, A% > ");
        if (!percent) return;
        each_sigma(d, [&](std::size_t i) { return d.Y[i] * *percent / 100.0; });
        return;
    }
    case 'S':
        s.out().line("Statistical errors, New error = sqrt(Y)");
        s.out().blank_line();
        each_sigma(d, [&](std::size_t i) { return std::max(std::sqrt(std::fabs(static_cast<double>(d.Y[i]))), 1.0); });
        return;
    case 'Z':
        s.out().line("All errors set to zero.");
        s.out().blank_line();
        each_sigma(d, [](std::size_t) { return 0.0; });
        return;
    case 'R': {
        // The sum is kept in single precision.
        float sum = 0.0f;
        for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) sum += d.SIGMA[i];
        const float mean = sum / static_cast<float>(d.count);
        each_sigma(d, [&](std::size_t) { return mean; });
        s.out().line("All errors set to the average error " + format_G(mean, 12, 5, 1));
        s.out().blank_line();
        return;
    }
    case 'L':
        each_sigma(d, [&](std::size_t i) { return std::fabs(d.SIGMA[i]) >= 1e-10 ? 3.0 : d.SIGMA[i]; });
        s.out().line("Non-zero error bars set to 3 (fun 9 plot option).");
        return;
    default: {
        double a = 1.0, b = 0.0;
        if (!ask_number_pair(s, "New error = A*(Old error) + B, A, B > ", a, b)) return;
        each_sigma(d, [&](std::size_t i) { return d.SIGMA[i] * a + b; });
        return;
    }
    }
}

void cmd_fuzz(Session& s, CommandContext&) {
    DataSet& d = s.data;
    // A fixed linear-congruential sequence started at pi (single precision)
    // at every FUZZ, so the same data always receive the same noise.
    double r = 3.1415901184082031;
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) {
        r = std::fabs(std::fmod(r * 9821.0 + 0.211327, 1.0));
        const double y = d.Y[i];
        d.Y[i] = static_cast<float>(y + (2.0 * r - 1.0) * std::sqrt(std::fabs(y)));
    }
    s.out().line("Data fuzzed.");
    s.out().blank_line();
}

} // namespace tarva
