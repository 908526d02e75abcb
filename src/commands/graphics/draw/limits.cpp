#include "commands/graphics/draw/limits.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "models/catalogue.h"
#include "models/evaluate.h"
#include "session/session.h"
#include "text/format.h"
#include "text/regular_file.h"
#include "text/safe_file.h"

namespace tarva {

void Range::add(double v) {
    if (!std::isfinite(v)) return;
    // Values beyond single precision would become infinite limits.
    constexpr double kBig = 1.0e38;
    if (v > kBig) v = kBig;
    if (v < -kBig) v = -kBig;
    const float f = static_cast<float>(v);
    if (f < lo) lo = f;
    if (f > hi) hi = f;
}

Range data_x_range(const Session& s) {
    Range r;
    for (int i = 0; i < s.data.count; ++i) r.add(s.data.X[static_cast<std::size_t>(i)]);
    return r;
}

namespace {

// Length of the error bar of a point, as the picture shows it.
double error_bar(const DataSet& d, float y, float sigma) {
    if (d.log_y == 0) return std::fabs(static_cast<double>(sigma));
    const double linear = std::pow(10.0, static_cast<double>(y)) + sigma;
    if (!(linear > 0.0) || !std::isfinite(linear)) return 0.0;
    return std::fabs(std::log10(linear) - y);
}

} // namespace

Range data_y_range(Session& s, bool all_points, float xlo, float xhi) {
    Range r;
    const bool with_model = model_sets_limits(s.fit.function);
    ModelInputs m{s.fit, s.data, s.models};
    for (int i = 0; i < s.data.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const float x = s.data.X[k];
        if (!all_points && !(x >= xlo && x <= xhi)) continue;
        const float y = s.data.Y[k];
        const double e = error_bar(s.data, y, s.data.SIGMA[k]);
        r.add(static_cast<double>(y) - e);
        r.add(static_cast<double>(y) + e);
        if (with_model) r.add(evaluate(m, s.fit.value, x));
    }
    return r;
}

void widen(Range& r, float fraction) {
    if (r.empty()) return;
    const float d = fraction * (r.hi - r.lo);
    r.lo -= d;
    r.hi += d;
}

void spectral_y(Range& r) {
    const float top = r.high();
    r.lo = 0.0f;
    r.hi = 1.25f * top;
}

PlotLimits default_limits(Session& s) {
    Range x = data_x_range(s);
    Range y = data_y_range(s, true);
    if (s.draw.flags.spectral) {
        spectral_y(y);
    } else {
        widen(x, 0.05f);
        widen(y, 0.05f);
    }
    return {x.low(), x.high(), y.low(), y.high()};
}

std::string limits_file_name(std::string_view word) {
    std::string name(trimmed(word));
    if (name.empty()) return "QVDRAW.QVM";
    if (name.find('.') == std::string::npos) name += ".QVM";
    return name;
}

LimitsFileStatus read_limits_file(const std::string& name, PlotLimits& limits) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(name, ec);
    if (ec) return LimitsFileStatus::CheckFailed;
    if (!exists) return LimitsFileStatus::Missing;
    std::ifstream in;
    if (!open_regular(in, name)) return LimitsFileStatus::OpenFailed;
    // Four numbers fit in far less; a larger file is cut, not slurped.
    constexpr std::size_t kMaxText = 4096;
    std::string text(kMaxText, '\0');
    in.read(text.data(), static_cast<std::streamsize>(kMaxText));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return parse_limits_text(text, limits) ? LimitsFileStatus::Ok : LimitsFileStatus::ReadFailed;
}

bool parse_limits_text(std::string text, PlotLimits& limits) {
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    std::array<double, 4> v{};
    const auto n = read_list(text, v);
    if (!n || *n < 4) return false;
    for (double x : v)
        if (!std::isfinite(x) || std::fabs(x) > 1.0e38) return false;
    limits = {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]), static_cast<float>(v[3])};
    return true;
}

// Replaced whole through a checked temporary file: a full disk keeps the
// old limits.
bool write_limits_file(const std::string& name, const PlotLimits& limits) {
    const std::string line =
        format_layout("(1P,G13.5,',',G13.5,',',G13.5,',',G13.5)", {limits.xmin, limits.xmax, limits.ymin, limits.ymax});
    return replace_file(name, line + "\n") == ReplaceStatus::Ok;
}

std::string limit_text(double v) {
    const std::string t(trim(format_G(v, 13, 5, 1)));
    return t.empty() ? "0" : t;
}

} // namespace tarva
