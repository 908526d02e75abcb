#include "graphics/axes.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "graphics/text.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr int kCandidatesBelow = 100; // candidates k = -100 .. 100
constexpr int kMaxMinorDivisions = 1000;

// Rounds half away from zero, as the integer forms of the numbers need:
// an axis value of -5 must read "-5", not "-4".
long long nearest_integer(double v) {
    const double r = std::trunc(std::fabs(v) + 0.5);
    return static_cast<long long>(v < 0 ? -r : r);
}

std::string trim_both(std::string_view text) {
    std::size_t b = 0;
    while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
    return std::string(trimmed(text.substr(b)));
}

// Values too large or too small for the fixed forms: exponential form, or 0
// for what is only the rounding noise of a zero mark.
std::string exponential_or_zero(double value, double span) {
    if (std::fabs(value) > 1e-5 * std::fabs(span)) return format_layout("(1P,E8.1,'  ')", {value});
    return format_layout("(I8,'  ')", {0LL});
}

int digits_for(double span, int d) { return d < 0 ? automatic_digits(span) : d; }

} // namespace

double axis_step(double span, int n, bool log_axis) {
    if (!std::isfinite(span) || span == 0.0) return 0.0;
    if (n < 1) n = 1;
    if (log_axis && std::fabs(span) <= 20.0) return 1.0;
    const double t = span / n;
    const double r = std::trunc(std::log10(std::fabs(t)) + 1e-6);
    double step = std::copysign(std::pow(10.0, r), t);
    if (!std::isfinite(step) || step == 0.0) return 0.0;
    if (std::fabs(span / step) < n) step /= 10.0;
    auto too_many = [&] { return std::fabs(span / step) - 3.0 > n; };
    for (int guard = 0; guard < 400 && too_many(); ++guard) {
        step *= 2.0;
        if (too_many()) {
            step *= 2.5;
            if (too_many()) step *= 2.0;
        }
    }
    if (!std::isfinite(step) || step == 0.0) return 0.0;
    return step;
}

namespace {

struct Candidates {
    double first = 0.0;
    double step = 0.0;
    double lo = 0.0, hi = 0.0, tol = 0.0;
    bool valid = false;

    Candidates(double min, double max, double s) : step(s) {
        if (!std::isfinite(min) || !std::isfinite(max) || !std::isfinite(s) || s == 0.0) return;
        const double q = std::trunc(min / s);
        if (!std::isfinite(q)) return;
        first = q * s;
        lo = std::min(min, max);
        hi = std::max(min, max);
        // Window limits are single precision: a mark on the edge must not be
        // lost to their rounding.
        tol = 1e-5 * std::fabs(s);
        valid = true;
    }
    double value(int k) const {
        const double v = first + (k - 1) * step;
        return std::fabs(v) < 1e-9 * std::fabs(step) ? 0.0 : v;
    }
    bool inside(double v) const { return v >= lo - tol && v <= hi + tol; }
};

} // namespace

std::vector<double> axis_values(double min, double max, double step) {
    std::vector<double> out;
    const Candidates c(min, max, step);
    if (!c.valid) return out;
    for (int k = -kCandidatesBelow; k <= kCandidatesBelow; ++k) {
        const double v = c.value(k);
        if (c.inside(v)) out.push_back(v);
    }
    return out;
}

int automatic_digits(double span) {
    const double s = std::fabs(span);
    if (s >= 20) return 0;
    if (s >= 2) return 1;
    if (s >= 0.2) return 2;
    if (s >= 0.02) return 3;
    if (s >= 0.002) return 4;
    if (s >= 0.0002) return 5;
    return 6;
}

std::string x_number_text(double value, double span, int d) {
    const double a = std::fabs(value);
    if (!std::isfinite(value)) return format_layout("(1P,E8.1,'  ')", {value});
    if (a < 1e-30) return format_layout("(I8,'  ')", {0LL});
    if (a >= 1e7 || a < 0.002) return exponential_or_zero(value, span);
    d = digits_for(span, d);
    const long long n = nearest_integer(value);
    static const char* const rows[6][6] = {
        {"('    ',I1,'     ')", "('   ',F4.1,'   ')", "('   ',F5.2,'  ')", "('   ',F6.3,' ')", "('   ',F7.4)",
         "('  ',F8.5)"},
        {"('   ',I2,'     ')", "('  ',F4.1,'    ')", "('  ',F5.2,'   ')", "('  ',F6.3,'  ')", "('  ',F7.4,' ')",
         "('  ',F8.5)"},
        {"('  ',I3,'     ')", "(' ',F5.1,'    ')", "(' ',F6.2,'   ')", "(' ',F7.3,'  ')", "(' ',F8.4,' ')",
         "(' ',F9.5)"},
        {"(' ',I5,'    ')", "(F7.1,'   ')", "(F8.2,'  ')", "(F9.3,' ')", "(F10.4)", nullptr},
        {"(I7,'   ')", "(F8.1,'  ')", "(F9.2,' ')", "(F10.3)", nullptr, nullptr},
        {"(I8,'  ')", "(F9.1,' ')", "(F10.2)", nullptr, nullptr, nullptr},
    };
    int row = 5;
    if (a < 1) {
        row = 0;
    } else if (a < 10) {
        row = 1;
    } else if (std::llabs(n) < 99) {
        row = 2;
    } else if (std::llabs(n) < 9999) {
        row = 3;
    } else if (std::llabs(n) < 999999) {
        row = 4;
    }
    if (d < 0 || d > 5 || rows[row][d] == nullptr) return exponential_or_zero(value, span);
    if (d == 0) return format_layout(rows[row][0], {n});
    return format_layout(rows[row][d], {value});
}

std::string y_number_text(double value, double span, int d) {
    const double a = std::fabs(value);
    if (!std::isfinite(value)) return format_layout("(1P,E8.1,'  ')", {value});
    if (a < 1e-30) return format_layout("(I8,'  ')", {0LL});
    if (a >= 1e7 || a < 0.002) return exponential_or_zero(value, span);
    d = digits_for(span, d);
    if (d == 0) return format_layout("(I7,'   ')", {nearest_integer(value)});
    if (d < 0 || d > 5) return exponential_or_zero(value, span);
    const std::string layout = "(F8." + std::to_string(d) + ",'  ')";
    return format_layout(layout, {value});
}

std::string decade_number_text(double value) {
    const long long e = std::isfinite(value) ? nearest_integer(std::clamp(value, -1e9, 1e9)) : 0;
    const std::string head = "10\x1bU";
    if (e >= 0 && e <= 9) return "    " + head + format_I(e, 1) + " ";
    if (e >= -9 && e <= 99) return "   " + head + format_I(e, 2) + " ";
    if (e >= -99 && e <= 999) return "  " + head + format_I(e, 3) + " ";
    return head + format_I(e, 6);
}

std::string number_font_prefix(int default_font) {
    switch (default_font) {
    case 1:
    case 2:
    case 6: return "^1";
    case 3:
    case 4:
    case 7: return "^3";
    case 5: return "^5";
    default: return "^0";
    }
}

namespace {

void line(Strokes& out, float x1, float y1, float x2, float y2) {
    out.push_back({x1, y1, 3});
    out.push_back({x2, y2, 2});
}

int minor_divisions(const AxisSettings& a, bool log_axis) {
    if (!log_axis && a.five_marks) return 5;
    const double g = a.gradations;
    if (!(g >= 1.0)) return 1; // also NaN
    // Rounded half up; a huge count would only blacken the axis.
    return round_nearest(std::min(g, static_cast<double>(kMaxMinorDivisions)));
}

struct AxisPlan {
    bool log_axis;
    double min, max, step;
    int minor;
};

// Runs through the candidates of one axis: major(v) for each used value,
// minor(m) for each minor mark inside the range, then across(v) for the
// used value, so that a grid line follows the minor marks of its interval.
template <typename Major, typename Minor, typename Across>
void walk_axis(const AxisPlan& p, Major major, Minor minor, Across across) {
    const Candidates c(p.min, p.max, p.step);
    if (!c.valid) return;
    const bool decades = p.log_axis && std::fabs(p.step) == 1.0;
    for (int k = -kCandidatesBelow; k <= kCandidatesBelow; ++k) {
        const double v = c.value(k);
        const bool used = c.inside(v);
        if (used) major(v);
        if (decades) {
            for (int i = 2; i <= 9; ++i) {
                const double m = v + std::log10(static_cast<double>(i));
                if (c.inside(m)) minor(m);
            }
        } else {
            for (int i = 1; i < p.minor; ++i) {
                const double m = v + i * p.step / p.minor;
                if (c.inside(m)) minor(m);
            }
        }
        if (used) across(v);
    }
}

} // namespace

void layout_axes(const AxisSettings& a, const PlotWindow& win, int default_font, float unit_x, float unit_y, int nx,
                 int ny, float size, bool ylog, Strokes& out) {
    const float number_size = 0.75F * (size <= 0.0F || !std::isfinite(size) ? 1.0F : size);
    const float ux = unit_x * number_size;
    const float uy = unit_y * number_size;
    const float k = a.mark_size;
    const std::string prefix = number_font_prefix(default_font);
    const float xmin = win.xmin, xmax = win.xmax, ymin = win.ymin, ymax = win.ymax;

    // X axis
    {
        const double span = static_cast<double>(xmax) - xmin;
        const AxisPlan plan{a.log_x, xmin, xmax, axis_step(span, nx, a.log_x), minor_divisions(a, a.log_x)};
        const float number_y = ymin - (a.log_x ? 1.8F * 1.1F : 1.8F) * uy;
        walk_axis(
            plan,
            [&](double value) {
                const float v = static_cast<float>(value);
                line(out, v, ymin + k * uy, v, ymin);
                if (a.upper_marks) line(out, v, ymax - k * uy, v, ymax);
                if (a.x_numbers) {
                    const std::string field =
                        a.log_x ? decade_number_text(value) : x_number_text(value, span, a.x_digits);
                    const std::string text = prefix + trim_both(field);
                    const float w = layout_text(default_font, 0, 0, unit_x, unit_y, number_size, 0, text, nullptr);
                    layout_text(default_font, v - w / 2, number_y, unit_x, unit_y, number_size, 0, text, &out);
                }
            },
            [&](double value) {
                const float v = static_cast<float>(value);
                line(out, v, ymin + 0.5F * k * uy, v, ymin);
                if (a.upper_marks) line(out, v, ymax - 0.5F * k * uy, v, ymax);
            },
            [&](double value) {
                const float v = static_cast<float>(value);
                if (a.grid_lines) line(out, v, ymin, v, ymax);
            });
    }
    // Y axis
    {
        const double span = static_cast<double>(ymax) - ymin;
        const AxisPlan plan{ylog, ymin, ymax, axis_step(span, ny, ylog), minor_divisions(a, ylog)};
        walk_axis(
            plan,
            [&](double value) {
                const float v = static_cast<float>(value);
                line(out, xmin + k * ux, v, xmin, v);
                if (a.right_marks) line(out, xmax - k * ux, v, xmax, v);
                if (a.y_numbers) {
                    const std::string field = ylog ? decade_number_text(value) : y_number_text(value, span, a.y_digits);
                    const std::string text = prefix + trim_both(field);
                    const float w = layout_text(default_font, 0, 0, unit_x, unit_y, number_size, 0, text, nullptr);
                    layout_text(default_font, xmin - 0.5F * ux - w, v - 0.5F * uy, unit_x, unit_y, number_size, 0, text,
                                &out);
                }
            },
            [&](double value) {
                const float v = static_cast<float>(value);
                line(out, xmin + 0.5F * k * ux, v, xmin, v);
                if (a.right_marks) line(out, xmax - 0.5F * k * ux, v, xmax, v);
            },
            [&](double value) {
                const float v = static_cast<float>(value);
                if (a.grid_lines) line(out, xmin, v, xmax, v);
            });
    }
}

void layout_box(char device, float xmin, float xmax, float ymin, float ymax, Strokes& out) {
    out.push_back({xmin, ymin, 3});
    out.push_back({xmax, ymin, 2});
    out.push_back({xmax, ymax, 2});
    out.push_back({xmin, ymax, 2});
    out.push_back({xmin, ymin, 2});
    const char d = static_cast<char>(std::toupper(static_cast<unsigned char>(device)));
    if (d == 'S' || d == ' ') out.push_back({xmin, ymax, 2});
}

bool axis_setting(AxisSettings& a, char key, bool flag, double value) {
    switch (std::toupper(static_cast<unsigned char>(key))) {
    case 'K':
        if (value > 1e-10 && std::isfinite(value)) a.mark_size = static_cast<float>(value);
        return true;
    case 'G':
        if (value > 0 && std::isfinite(value)) a.gradations = static_cast<float>(value);
        return true;
    case 'I':
        if (std::isfinite(value)) a.x_digits = static_cast<int>(nearest_integer(std::clamp(value, -1e6, 1e6)));
        return true;
    case 'J':
        if (std::isfinite(value)) a.y_digits = static_cast<int>(nearest_integer(std::clamp(value, -1e6, 1e6)));
        return true;
    case 'R': a.right_marks = flag; return true;
    case 'U': a.upper_marks = flag; return true;
    case '5': a.five_marks = flag; return true;
    case 'V': a.x_numbers = flag; return true;
    case 'W': a.y_numbers = flag; return true;
    case 'L': a.grid_lines = flag; return true;
    case 'X': a.log_x = flag; return true;
    default: return false;
    }
}

} // namespace tarva
