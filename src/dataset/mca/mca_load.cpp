#include "dataset/mca/mca_load.h"

#include <cmath>
#include <string>

#include "text/format.h"

namespace tarva {

namespace {

constexpr float kTiny = 1e-10f;

void append_label(FixedText<100>& label, std::string_view tail) {
    label = std::string(label.trimmed()) + std::string(tail);
}

float error_of(float y) { return std::abs(y) > kTiny ? std::sqrt(std::abs(y)) : 1.0f; }

void clear_log_flags(DataSet& data) { data.log_x = data.log_y = data.log_scale_x = data.log_scale_y = 0; }

} // namespace

void load_spectrum(const SpectrumRecord& record, int count, bool channels_on_x, DataSet& data, OutputSink& out) {
    const SpectrumOptions& opt = data.spectrum_options;
    ExperimentalParameters& p = data.experiment;
    clear_log_flags(data);
    data.spectrum_kind = kind_of_type(record.type);
    data.spectrum_loaded = 1;
    if (!opt.sticky)
        p.value = record.parameters;
    else
        out.line(" Experimental parameters in file not loaded.");
    data.spectrum = record.counts;
    data.caption = record.caption.view();

    data.count = count;
    p.channels() = static_cast<float>(count);
    const float s = p.energy_per_channel() < kTiny ? 1.0f : p.energy_per_channel();
    const float b = p.energy_offset();
    const float n = p.normalisation() < kTiny ? 1.0f : p.normalisation();

    data.y_label = opt.log_first ? "Log^d10^r(Counts)" : "Counts";
    float f = 1.0f;
    if (opt.normalise) {
        if (n > kTiny && std::abs(n - 1.0f) > kTiny) {
            f = n;
            data.y_label = "Normalized " + std::string(data.y_label.trimmed());
        }
        if (p.solid_angle() > kTiny) {
            f /= p.solid_angle();
            append_label(data.y_label, "/msr");
        }
        if (p.charge() > kTiny) {
            f /= p.charge();
            append_label(data.y_label, "/^2l^cC");
        }
        if (s > kTiny && std::abs(s - 1.0f) > kTiny) {
            f /= s;
            append_label(data.y_label, "/keV");
        }
    }

    const float first = p.first_channel();
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const auto raw = static_cast<float>(record.counts[k]);
        float c = raw;
        data.X[k] = channels_on_x ? first + static_cast<float>(i) : first * s + b + s * static_cast<float>(i);
        if (opt.log_first) {
            c = c > 0.0f ? std::log10(c) : 0.0f;
            data.log_y = data.log_scale_y = 1;
        }
        data.Y[k] = c * f;
        data.SIGMA[k] = opt.log_first ? 0.0f : (raw < 1.0f ? f : std::sqrt(std::abs(c)) * f);
    }

    const bool calibrated = std::abs(s - 1.0f) >= kTiny || std::abs(b) >= kTiny;
    if (channels_on_x || !calibrated)
        data.x_label = "Channel";
    else
        data.x_label = data.spectrum_kind == 'L' ? "Wavelength (nm)" : "Energy (keV)";

    out.line(data.caption.view());
    out.line(format_I(count, 4) + " points in data file.");
    out.line("Statistical errors selected.");
    if (opt.normalise) out.line("Y-axis normalized.");
    if (opt.fix_up && count > 0) {
        data.Y[0] = 0.0f;
        data.SIGMA[0] = 1.0f;
        out.line("Fix-up mode: first channel zeroed.");
    }
    if (opt.log_first) out.line("Log of y-axis taken before normalization.");
    if (data.spectrum_kind == 'L')
        out.line("Luminescence spectrum");
    else if (data.spectrum_kind == 'X')
        out.line("X-RAY spectrum.");
    else
        out.line("RBS spectrum.");
    for (int i = 0; i < count; ++i) data.X[static_cast<std::size_t>(i)] -= s;
}

namespace {

// Column positions of one layout: channel field, then the count fields.
struct ColumnLayout {
    std::size_t channel_at, first_count_at, count_width, step, counts;
};

ColumnLayout layout_of(char layout) {
    if (layout == 'V') return {1, 7, 10, 13, 5}; // 1X,I4,2X,5(F10.0,3X)
    return {2, 8, 8, 9, 6};                      // 2X,I4,2X,6(F8.0,1X)
}

std::string_view field(std::string_view line, std::size_t at, std::size_t width) {
    if (at >= line.size()) return {};
    return line.substr(at, width);
}

} // namespace

int read_column_spectrum(std::istream& in, char layout, std::string_view file_name, DataSet& data, OutputSink& out) {
    const ColumnLayout lay = layout_of(layout);
    const bool compress = data.spectrum_options.compress;
    std::string line;
    std::string heading;
    if (std::getline(in, line)) heading = line;
    if (!heading.empty() && heading.back() == '\r') heading.pop_back();
    const std::string stem(file_name.substr(0, file_name.size() > 4 ? file_name.size() - 4 : 0));
    data.caption = "^j^j^j" + stem + ": " + heading;
    data.experiment.first_channel() = 1.0f;
    clear_log_flags(data);

    int points = 0;
    bool first_line = true;
    float offset = 0.0f;
    bool full = false;
    while (!full && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A blank line holds no channel; it is not a line of zero counts.
        if (trimmed(line).empty()) continue;
        auto channel = read_integer_field(field(line, lay.channel_at, 4));
        std::array<double, 6> counts{};
        bool good = channel.has_value();
        for (std::size_t j = 0; good && j < lay.counts; ++j) {
            auto v = read_real_field(field(line, lay.first_count_at + j * lay.step, lay.count_width));
            good = v.has_value();
            if (good) counts[j] = *v;
        }
        if (!good) continue;
        if (first_line) {
            first_line = false;
            offset = static_cast<float>(*channel - 1);
            out.line("ixs: " + format_I(*channel, 4) + " Offset on x-axis: " + format_G(offset, 12, 5, 1));
        }
        const std::size_t per_point = compress ? lay.counts : 1;
        for (std::size_t j = 0; j < lay.counts; j += per_point) {
            if (points == kMaxPoints) {
                out.line("More than 1024 points in data file, truncating to 1024");
                full = true;
                break;
            }
            double y = 0.0;
            for (std::size_t m = j; m < j + per_point; ++m) y += counts[m];
            const auto k = static_cast<std::size_t>(points++);
            data.X[k] = static_cast<float>(points) + offset;
            data.Y[k] = static_cast<float>(y);
            data.SIGMA[k] = error_of(data.Y[k]);
            data.spectrum[k] = count_of(data.Y[k]);
            data.count = points;
        }
    }
    data.count = points;
    out.line(data.caption.trimmed());
    out.line(format_I(points, 4) + " points in data file.");
    data.spectrum_loaded = 1;
    data.x_label = "Channel";
    data.y_label = "Counts";
    return points;
}

} // namespace tarva
