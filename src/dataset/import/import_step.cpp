// From what a reader found to points of the data set: the columns of a
// table, the channel window, channels summed into points, SIGMA, the
// calibration as a line in the channel number.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "dataset/import/instrument_import.h"
#include "dataset/import/text_scan.h"
#include "dataset/mca/mca_layout.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr double kLargestFloat = 3.0e38;
constexpr int kMostGroup = 1 << 20;

using ImportOutcome = Outcome<ImportedData>;

// The spectrum or table the import works on, its columns chosen.
struct Resolved {
    bool spectrum = true;
    std::vector<double> counts;
    long first_channel = 0;
    std::vector<double> calibration;
    std::string unit;
    bool calibration_from_x = false;
    std::vector<double> x, y, sigma;
    std::string x_name, y_name, sigma_name; // "Energy (column 2)" for the report
    std::string x_title, y_title;           // "Energy" for the labels
};

std::string base_name(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string number_text(double v) {
    const std::string s = format_G(v, 12, 5, 1);
    return std::string(trim(s));
}

std::string column_list(const NumberTable& t) {
    std::string s;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        s += (i ? ", " : "") + std::to_string(i + 1);
        if (!t.names[i].empty()) s += " " + t.names[i];
    }
    return s;
}

// A column by 1-based number or by name (any case).
Outcome<std::size_t> column_index(const NumberTable& t, const std::string& wanted) {
    const std::string_view want = trim(wanted);
    if (auto n = parse_number(want); n && *n == std::floor(*n)) {
        if (*n >= 1 && *n <= static_cast<double>(t.columns.size())) return {static_cast<std::size_t>(*n) - 1, {}};
        return Outcome<std::size_t>::failure("no column " + std::string(want) + ": the table has " +
                                             std::to_string(t.columns.size()) + " (" + column_list(t) + ")");
    }
    // The name in full, or a word that begins one name ("energy" for
    // "Energy (keV)").
    const std::string key = lower_ascii(want);
    std::optional<std::size_t> begins;
    int beginning = 0;
    for (std::size_t i = 0; i < t.names.size(); ++i) {
        const std::string name = lower_ascii(trim(t.names[i]));
        if (name == key) return {i, {}};
        if (!key.empty() && name.size() > key.size() && name.compare(0, key.size(), key) == 0 &&
            !std::isalnum(static_cast<unsigned char>(name[key.size()]))) {
            begins = i;
            ++beginning;
        }
    }
    if (beginning == 1) return {*begins, {}};
    return Outcome<std::size_t>::failure("no column named " + std::string(want) + " (the columns: " + column_list(t) +
                                         ")");
}

std::string column_name(const NumberTable& t, std::size_t i) {
    const std::string number = "column " + std::to_string(i + 1);
    return t.names[i].empty() ? number : t.names[i] + " (" + number + ")";
}

bool all_counts(const std::vector<double>& y) {
    return std::all_of(y.begin(), y.end(),
                       [](double v) { return v >= 0 && std::abs(v - std::round(v)) <= 1e-9 * std::max(1.0, v); });
}

// The step when the values are equally spaced (within a hundredth of a
// step, the rounding of values written with few digits), else 0.
double uniform_step(const std::vector<double>& x) {
    const std::size_t n = x.size();
    if (n < 2) return 0;
    const double step = (x[n - 1] - x[0]) / static_cast<double>(n - 1);
    if (step == 0) return 0;
    const double slack = 0.01 * std::abs(step) + 1e-12 * std::max(std::abs(x[0]), std::abs(x[n - 1]));
    for (std::size_t i = 0; i < n; ++i)
        if (std::abs(x[i] - (x[0] + static_cast<double>(i) * step)) > slack) return 0;
    return step;
}

// A table of X and Y: counts per channel when Y are counts and X equally
// spaced (channel numbers, or an axis that becomes the calibration);
// otherwise points that keep their X.
void classify(Resolved& r) {
    const double step = r.sigma.empty() && all_counts(r.y) ? uniform_step(r.x) : 0.0;
    if (step == 0) {
        r.spectrum = false;
        return;
    }
    r.spectrum = true;
    r.counts = r.y;
    if (std::abs(step - 1.0) <= 1e-9 && std::abs(r.x[0] - std::round(r.x[0])) <= 1e-9 && std::abs(r.x[0]) < 1e9) {
        r.first_channel = static_cast<long>(std::lround(r.x[0]));
    } else {
        r.first_channel = 0;
        r.calibration = {r.x[0], step};
        r.calibration_from_x = true;
        r.unit = "";
    }
}

Outcome<Resolved> resolve(const InstrumentSpectrum& in, const ColumnChoice& choice) {
    Resolved r;
    const bool chosen = !choice.x.empty() || !choice.y.empty() || !choice.sigma.empty();
    if (!in.is_table()) {
        if (chosen)
            return Outcome<Resolved>::failure(
                "the file holds a spectrum, no table whose columns IMPORT/X or IMPORT/Y could choose");
        r.counts = in.counts;
        r.first_channel = in.first_channel;
        r.calibration = in.calibration;
        r.unit = in.energy_unit;
        return {std::move(r), {}};
    }
    const NumberTable& t = in.table;
    if (t.columns.empty() || t.rows() == 0) return Outcome<Resolved>::failure("the table is empty");
    std::optional<std::size_t> xi, yi, si;
    if (!choice.x.empty()) {
        auto c = column_index(t, choice.x);
        if (!c) return Outcome<Resolved>::failure(c.error);
        xi = *c.value;
    }
    if (!choice.y.empty()) {
        auto c = column_index(t, choice.y);
        if (!c) return Outcome<Resolved>::failure(c.error);
        yi = *c.value;
    }
    if (!choice.sigma.empty()) {
        auto c = column_index(t, choice.sigma);
        if (!c) return Outcome<Resolved>::failure(c.error);
        si = *c.value;
    }
    if (!chosen) {
        if (t.columns.size() == 1) {
            yi = 0;
        } else {
            xi = 0;
            yi = 1;
            if (t.columns.size() >= 3) si = 2;
        }
    } else if (xi && !yi) {
        if (*xi + 1 >= t.columns.size())
            return Outcome<Resolved>::failure("no column after the X column to take Y from");
        yi = *xi + 1;
    }
    if (si && !xi) return Outcome<Resolved>::failure("a SIGMA column needs an X column");
    r.y = t.columns[*yi];
    r.y_name = column_name(t, *yi);
    r.y_title = t.names[*yi];
    if (!xi) {
        // Counts per channel, channels numbered from 0.
        r.counts = r.y;
        r.first_channel = 0;
        return {std::move(r), {}};
    }
    r.x = t.columns[*xi];
    r.x_name = column_name(t, *xi);
    r.x_title = t.names[*xi];
    if (si) {
        r.sigma = t.columns[*si];
        r.sigma_name = column_name(t, *si);
    }
    classify(r);
    return {std::move(r), {}};
}

std::string plural(long n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

struct Window {
    long first = 0, last = 0;
    int group = 1;
    long points = 0;
    long left_out = 0; // channels at the end of the window that make no whole group
};

// The channels [f0, fn] of a spectrum (or rows of a table, whose points are
// never summed: `sums` false) and the window asked for: what is read, or
// why not.
Outcome<Window> plan_window(long f0, long fn, const ChannelWindow& w, std::string_view unit, std::string_view units,
                            bool sums) {
    using Failure = Outcome<Window>;
    const auto range = [&](long a, long b) {
        return std::string(units) + " " + std::to_string(a) + "-" + std::to_string(b);
    };
    Window p;
    p.first = w.first.value_or(f0);
    if (p.first < f0 || p.first > fn)
        return Failure::failure(std::string(unit) + " " + std::to_string(p.first) + " lies outside the file's " +
                                range(f0, fn));
    if (w.last && (*w.last < f0 || *w.last > fn))
        return Failure::failure(std::string(unit) + " " + std::to_string(*w.last) + " lies outside the file's " +
                                range(f0, fn));
    if (w.last && *w.last < p.first)
        return Failure::failure("the last " + std::string(unit) + " " + std::to_string(*w.last) +
                                " comes before the first, " + std::to_string(p.first));
    const long span_to_end = fn - p.first + 1;
    if (w.group > 0) {
        p.group = w.group;
        p.last = w.last.value_or(w.first ? std::min(fn, p.first + static_cast<long>(kMaxPoints) * w.group - 1) : fn);
    } else if (!w.first && !w.last && sums) {
        // The whole spectrum, in as few groups as fit.
        p.group = static_cast<int>(span_to_end / (kMaxPoints + 1) + 1);
        p.last = fn;
    } else {
        p.group = 1;
        p.last = w.last.value_or(w.first ? std::min(fn, p.first + kMaxPoints - 1) : fn);
    }
    const long span = p.last - p.first + 1;
    p.points = span / p.group;
    if (p.points == 0)
        return Failure::failure(range(p.first, p.last) + " hold no whole group of " + std::to_string(p.group));
    if (p.points > kMaxPoints && !sums)
        return Failure::failure(range(p.first, p.last) + " are " + std::to_string(p.points) +
                                " points, more than 1024: choose at most 1024 " + std::string(units));
    if (p.points > kMaxPoints)
        return Failure::failure(range(p.first, p.last) + " are " + std::to_string(span) + " " + std::string(units) +
                                ", " + std::to_string(p.points) + " points at " + std::to_string(p.group) +
                                " per point: more than 1024; choose at most 1024 " + std::string(units) + " or " +
                                std::to_string((span + kMaxPoints - 1) / kMaxPoints) + " per point (IMPORT/C)");
    p.left_out = span - p.points * p.group;
    p.last = p.first + p.points * p.group - 1;
    return {p, {}};
}

bool fits_float(double v) { return std::abs(v) <= kLargestFloat; }

Outcome<ImportedData> spectrum_points(Resolved& r, const ChannelWindow& w, ImportedData d) {
    const long n = static_cast<long>(r.counts.size());
    if (n == 0) return Outcome<ImportedData>::failure("the file holds no counts");
    const long f0 = r.first_channel, fn = f0 + n - 1;
    auto plan = plan_window(f0, fn, w, "channel", "channels", true);
    if (!plan) return Outcome<ImportedData>::failure(plan.error);
    const Window p = *plan.value;
    d.spectrum = true;
    d.left_out = p.left_out;
    d.channels = n;
    d.file_first = f0;
    d.first_read = p.first;
    d.last_read = p.last;
    d.group = p.group;
    for (long j = 0; j < p.points; ++j) {
        const long c = p.first + j * p.group;
        double sum = 0;
        for (long m = 0; m < p.group; ++m) sum += r.counts[static_cast<std::size_t>(c - f0 + m)];
        if (!fits_float(sum) || !fits_float(static_cast<double>(c)))
            return Outcome<ImportedData>::failure("channel " + std::to_string(c) + ": a count beyond single precision");
        d.x.push_back(static_cast<float>(c));
        d.y.push_back(static_cast<float>(sum));
        d.sigma.push_back(sum >= 1 ? static_cast<float>(std::sqrt(sum)) : 1.0f);
        d.counts.push_back(count_of(sum));
    }
    if (!r.calibration.empty()) {
        const auto energy = [&](double ch) {
            double e = 0, power = 1;
            for (double c : r.calibration) {
                e += c * power;
                power *= ch;
            }
            return e;
        };
        // Each point's energy is that of the middle of its group.
        const double half = (p.group - 1) / 2.0;
        const double x1 = static_cast<double>(p.first), x2 = static_cast<double>(p.first + (p.points - 1) * p.group);
        const double e1 = energy(x1 + half), e2 = energy(x2 + half);
        double slope;
        if (x2 > x1) {
            slope = (e2 - e1) / (x2 - x1);
        } else {
            slope = r.calibration.size() > 1 ? r.calibration[1] : 0.0;
            if (r.calibration.size() > 2) slope += 2 * r.calibration[2] * (x1 + half);
        }
        if (std::isfinite(slope) && std::isfinite(e1) && slope != 0) {
            d.per_channel = slope;
            d.offset = e1 - slope * x1;
            d.quadratic = r.calibration.size() > 2 ? r.calibration[2] : 0.0;
            d.energy_unit = r.unit;
            d.calibration_from_x = r.calibration_from_x;
        }
    }
    d.x_label = "Channel";
    d.y_label = "Counts";
    return {std::move(d), {}};
}

Outcome<ImportedData> table_points(Resolved& r, const ChannelWindow& w, ImportedData d) {
    if (w.group > 1)
        return Outcome<ImportedData>::failure(
            "IMPORT/C sums counts; this table holds points with X values, not counts");
    const long n = static_cast<long>(r.y.size());
    auto plan = plan_window(1, n, w, "row", "rows", false);
    if (!plan) return Outcome<ImportedData>::failure(plan.error);
    const Window p = *plan.value;
    d.spectrum = false;
    d.channels = n;
    d.file_first = 1;
    d.first_read = p.first;
    d.last_read = p.last;
    d.group = 1;
    for (long row = p.first; row <= p.last; ++row) {
        const auto i = static_cast<std::size_t>(row - 1);
        const double x = r.x[i], y = r.y[i], e = r.sigma.empty() ? 1.0 : r.sigma[i];
        if (!fits_float(x) || !fits_float(y) || !fits_float(e))
            return Outcome<ImportedData>::failure("row " + std::to_string(row) + ": a value beyond single precision");
        d.x.push_back(static_cast<float>(x));
        d.y.push_back(static_cast<float>(y));
        d.sigma.push_back(static_cast<float>(e));
    }
    d.x_label = r.x_title.empty() ? "X" : r.x_title;
    d.y_label = r.y_title.empty() ? "Y" : r.y_title;
    return {std::move(d), {}};
}

} // namespace

Outcome<ImportedData> import_spectrum(const InstrumentSpectrum& source, const ChannelWindow& window,
                                      const ColumnChoice& columns, std::string_view file_name) {
    if (window.group < 0 || window.group > kMostGroup)
        return ImportOutcome::failure("the channels per point must be 1 to " + std::to_string(kMostGroup));
    auto resolved = resolve(source, columns);
    if (!resolved) return ImportOutcome::failure(resolved.error);
    Resolved& r = *resolved.value;
    ImportedData d;
    d.source = source;
    d.x_column = r.x_name;
    d.y_column = r.y_name;
    d.sigma_column = r.sigma_name;
    d.caption = base_name(file_name);
    if (!trim(source.title).empty()) d.caption += ": " + std::string(trim(source.title));
    return r.spectrum ? spectrum_points(r, window, std::move(d)) : table_points(r, window, std::move(d));
}

Outcome<ImportedData> import_file(const std::string& path, const ChannelWindow& window, const ColumnChoice& columns) {
    ReadOutcome read = read_instrument_file(path);
    if (!read) return ImportOutcome::failure(read.error);
    return import_spectrum(*read.value, window, columns, path);
}

void store_import(const ImportedData& d, DataSet& data, std::string_view file_name) {
    const int n = static_cast<int>(d.x.size());
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        data.X[k] = d.x[k];
        data.Y[k] = d.y[k];
        data.SIGMA[k] = d.sigma[k];
    }
    data.count = n;
    data.dimensions = 0;
    data.caption = d.caption;
    data.x_label = d.x_label;
    data.y_label = d.y_label;
    data.file_name = file_name;
    data.log_x = data.log_y = data.log_scale_x = data.log_scale_y = 0;
    if (!d.spectrum) {
        data.spectrum_loaded = 0;
        return;
    }
    data.spectrum.fill(0);
    std::copy(d.counts.begin(), d.counts.end(), data.spectrum.begin());
    data.spectrum_loaded = 1;
    data.spectrum_kind = 'X';
    if (data.spectrum_options.sticky) return;
    ExperimentalParameters& p = data.experiment;
    p.channels() = static_cast<float>(n);
    // MCA gives point i (from 0) the energy offset + (first channel - 1 + i)
    // * energy per channel: with the first channel read plus one that is the
    // energy of the point's X.
    p.first_channel() = static_cast<float>(d.first_read + 1);
    p.energy_per_channel() = d.per_channel ? static_cast<float>(*d.per_channel) : 1.0f;
    p.energy_offset() = d.offset ? static_cast<float>(*d.offset) : 0.0f;
    p.normalisation() = 1.0f;
}

std::vector<std::string> import_report(const ImportedData& d, std::string_view file_name) {
    std::vector<std::string> lines;
    lines.push_back("Reading " + std::string(file_name) + ": " + d.source.layout);
    for (const std::string& note : d.source.notes) lines.push_back("  " + note);
    lines.push_back("Caption : " + d.caption);
    if (d.source.is_table() && d.source.table.columns.size() > 1) {
        if (!d.spectrum)
            lines.push_back("Columns: X = " + d.x_column + ", Y = " + d.y_column +
                            ", SIGMA = " + (d.sigma_column.empty() ? std::string("1") : d.sigma_column));
        else if (d.x_column.empty())
            lines.push_back("Columns: counts = " + d.y_column + ", X = channel number");
        else
            lines.push_back("Columns: channel = " + d.x_column + ", counts = " + d.y_column);
    }
    if (d.spectrum) {
        const long points = static_cast<long>(d.x.size());
        std::string line = plural(d.channels, "channel", "channels") + ", channels " + std::to_string(d.first_read) +
                           "-" + std::to_string(d.last_read) + " read, " +
                           plural(d.group, "channel per point", "channels per point") + ": " +
                           plural(points, "point", "points");
        if (d.left_out > 0)
            line += " (" + plural(d.left_out, "channel", "channels") + " after " + std::to_string(d.last_read) +
                    " left out: no whole group)";
        lines.push_back(line);
    } else {
        lines.push_back(plural(d.channels, "row", "rows") + ", rows " + std::to_string(d.first_read) + "-" +
                        std::to_string(d.last_read) +
                        " read: " + plural(static_cast<long>(d.x.size()), "point", "points"));
    }
    if (d.per_channel) {
        const std::string unit = d.energy_unit.empty() ? "" : " " + d.energy_unit;
        const std::string what = d.calibration_from_x ? "Calibration from the X column: " : "Energy calibration: ";
        lines.push_back(what + number_text(*d.per_channel) + unit + " per channel, offset " + number_text(*d.offset) +
                        unit + " (experimental parameters)");
        if (d.quadratic != 0)
            lines.push_back("  quadratic term " + number_text(d.quadratic) + unit +
                            " per channel^2 not kept: the line meets the window's ends");
    }
    const InstrumentSpectrum& s = d.source;
    if (s.live_time || s.real_time) {
        std::string t;
        if (s.live_time) t = "Live time " + std::string(trim(format_F(*s.live_time, 0, 3))) + " s";
        if (s.real_time)
            t += std::string(t.empty() ? "Real" : ", real") + " time " +
                 std::string(trim(format_F(*s.real_time, 0, 3))) + " s";
        lines.push_back(t);
    }
    return lines;
}

} // namespace tarva
