// FT: the data set's ordinates replaced by their cosine transform, the data
// first extended with zeros to a power of two.
#include <cmath>
#include <span>
#include <string>

#include "commands/commands.h"
#include "dataset/fourier_transform.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva {

namespace {

// A label without its trailing blanks, at least one character, so that an
// empty label still reads "1/( )". The Y label is taken the same way: its
// trailing blanks would push the closing parenthesis out of the 100 columns.
std::string label_text(const FixedText<100>& label) {
    const std::string_view t = label.trimmed();
    return t.empty() ? std::string(" ") : std::string(t);
}

// Points n+1 .. m continue the X spacing with Y = SIGMA = 0.
void pad_with_zeros(DataSet& d, int m, float spacing) {
    const int n = d.count;
    const float last = d.X[static_cast<std::size_t>(n - 1)];
    for (int i = n + 1; i <= m; ++i) {
        const auto k = static_cast<std::size_t>(i - 1);
        d.X[k] = last + static_cast<float>(i - n) * spacing;
        d.Y[k] = 0.0f;
        d.SIGMA[k] = 0.0f;
    }
    d.count = m;
}

} // namespace

void cmd_ft(Session& s, CommandContext& ctx) {
    OutputSink& out = s.out();
    DataSet& d = s.data;
    const int n = d.count;
    if (n < 2) {
        out.line("Only one data point!");
        out.blank_line();
        return;
    }
    const float spacing = (d.X[static_cast<std::size_t>(n - 1)] - d.X[0]) / static_cast<float>(n - 1);
    if (!(std::fabs(spacing) >= 1e-20f)) {
        out.line("Interval too small, are the X points in order?");
        out.blank_line();
        return;
    }
    const int m = padded_length(n);
    if (n != m) {
        out.line("The data set must have 2**N data points,");
        auto answer = ask_text(s, "Currently there are " + format_I(n, 4) + ", pad to " + format_I(m, 4) + " ? > ", 1);
        if (!answer || upper(*answer)[0] == 'N') return;
        pad_with_zeros(d, m, spacing);
    }
    // FT/N only pads; it never transforms, also when nothing needed padding.
    if (ctx.qualifier == 'N') {
        out.line("Data padded to " + format_I(m, 4) + " data points only.");
        out.blank_line();
        return;
    }

    cosine_transform(std::span<float>(d.Y.data(), static_cast<std::size_t>(m)));
    const float period = 2.0f * static_cast<float>(m) * spacing;
    for (int k = 0; k < m; ++k) d.X[static_cast<std::size_t>(k)] = static_cast<float>(k) / period;
    d.x_label = "1/(" + label_text(d.x_label) + ")";
    d.y_label = "FT(" + label_text(d.y_label) + ")";
    out.line("Fourier transform taken of data.");
    out.blank_line();
}

} // namespace tarva
