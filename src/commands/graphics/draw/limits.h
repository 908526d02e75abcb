// Plot limits of a DRAW picture: ranges of the data with their error bars
// and the model, widening, spectral mode, and the limits file.
#pragma once

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace tarva {

struct Session;

struct PlotLimits {
    float xmin = 0.0f, xmax = 0.0f, ymin = 0.0f, ymax = 0.0f;
};

// A closed range grown value by value; values that are not finite are
// left out, so one bad point or model value cannot spoil the limits.
struct Range {
    float lo = std::numeric_limits<float>::infinity();
    float hi = -std::numeric_limits<float>::infinity();
    bool empty() const { return !(lo <= hi); }
    void add(double v);
    // The range, or 0..0 when nothing was added.
    float low() const { return empty() ? 0.0f : lo; }
    float high() const { return empty() ? 0.0f : hi; }
};

// X of all points.
Range data_x_range(const Session& s);

// Y of the points (all, or those with xlo <= X <= xhi) from y - e to y + e,
// e being the error bar (|sigma|, or on log-Y data |log10(10^y + sigma) - y|),
// and the model value at each such X unless the function only shows points.
Range data_y_range(Session& s, bool all_points, float xlo = 0.0f, float xhi = 0.0f);

// Widens both ends by `fraction` of the span.
void widen(Range& r, float fraction);

// Spectral mode: from 0 to 1.25 times the largest value.
void spectral_y(Range& r);

// The limits used when nothing fixes them: the data and model ranges widened
// by 5 % of their spans (spectral mode: X as it is, Y from 0 to 1.25 x max).
PlotLimits default_limits(Session& s);

// A limits-file name from the word the user typed: blank gives QVDRAW.QVM,
// a name without '.' gets ".QVM".
std::string limits_file_name(std::string_view word);

enum class LimitsFileStatus { Ok, Missing, CheckFailed, OpenFailed, ReadFailed };

// Reads xmin, xmax, ymin, ymax as four free-format numbers.
LimitsFileStatus read_limits_file(const std::string& name, PlotLimits& limits);

// The four numbers of a limits file's text; false when they do not read.
bool parse_limits_text(std::string text, PlotLimits& limits);

// Writes the limits as one line of four 1P G13.5 values separated by commas.
bool write_limits_file(const std::string& name, const PlotLimits& limits);

// The compact text of a limit in prompts and messages (1P G13.5, trimmed).
std::string limit_text(double v);

} // namespace tarva
