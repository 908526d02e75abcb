// The text spectrum of silicon-drift detector software (Amptek's PMCA
// layout):
//   <<PMCA SPECTRUM>>
//   TAG - ..., DESCRIPTION - ..., LIVE_TIME - 99.5, REAL_TIME - 100, ...
//   <<CALIBRATION>>      (optional)
//   LABEL - keV          the unit of the energies below
//   100 5.9              channel and energy pairs, two or more
//   <<ROI>> ...          (optional, skipped)
//   <<DATA>>
//   one count per line, channel 0 first
//   <<END>>
// then optional sections of the device's settings, skipped. Keys and values
// are separated by " - " (some files write an en dash).
#include <cctype>
#include <cmath>

#include "dataset/import/readers.h"
#include "dataset/import/text_scan.h"

namespace tarva {

namespace {

// "<<NAME>>": the section's name in upper case, or "".
std::string section_of(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.size() < 5 || t.substr(0, 2) != "<<" || t.substr(t.size() - 2) != ">>") return {};
    std::string name = lower_ascii(trim(t.substr(2, t.size() - 4)));
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return name;
}

// "KEY - value": false when the line is no such pair.
bool key_value(std::string_view line, std::string& key, std::string_view& value) {
    static constexpr std::string_view kDashes[] = {" - ", " \xE2\x80\x93 ", " \xE2\x80\x94 "};
    for (std::string_view dash : kDashes) {
        const std::size_t at = line.find(dash);
        if (at == std::string_view::npos) continue;
        key = lower_ascii(trim(line.substr(0, at)));
        value = trim(line.substr(at + dash.size()));
        return !key.empty();
    }
    // "KEY -" with nothing after it.
    const std::string_view t = trim(line);
    if (t.size() > 2 && t.substr(t.size() - 2) == " -") {
        key = lower_ascii(trim(t.substr(0, t.size() - 2)));
        value = {};
        return true;
    }
    return false;
}

// Scale of the calibration label's unit to keV; 0 when it names none.
double label_scale(std::string_view label, std::string& unit) {
    const std::string l = lower_ascii(label);
    const auto has = [&](std::string_view u) {
        for (std::size_t at = l.find(u); at != std::string::npos; at = l.find(u, at + 1)) {
            const bool left = at == 0 || !std::isalpha(static_cast<unsigned char>(l[at - 1]));
            const bool right = at + u.size() == l.size() || !std::isalpha(static_cast<unsigned char>(l[at + u.size()]));
            if (left && right) return true;
        }
        return false;
    };
    if (has("kev")) return 1.0;
    if (has("mev")) return 1e3;
    if (has("ev")) return 1e-3;
    unit = std::string(trim(label));
    return 0.0;
}

// The least-squares line through the (channel, energy) points; empty when
// they do not fix one.
std::vector<double> line_through(const std::vector<std::pair<double, double>>& points) {
    if (points.size() < 2) return {};
    double sx = 0, sy = 0;
    for (auto [x, y] : points) {
        sx += x;
        sy += y;
    }
    const double n = static_cast<double>(points.size());
    const double mx = sx / n, my = sy / n;
    double sxx = 0, sxy = 0;
    for (auto [x, y] : points) {
        sxx += (x - mx) * (x - mx);
        sxy += (x - mx) * (y - my);
    }
    if (sxx == 0) return {};
    const double slope = sxy / sxx;
    return {my - slope * mx, slope};
}

} // namespace

bool pmca_text_signature(std::string_view bytes) {
    if (looks_binary(bytes)) return false;
    LineScanner lines(bytes);
    while (auto line = lines.next()) {
        const std::string_view t = trim(line->text);
        if (t.empty()) continue;
        return section_of(t) == "PMCA SPECTRUM";
    }
    return false;
}

ReadOutcome read_pmca_text(const FileBytes& file) {
    InstrumentSpectrum s;
    s.layout = "<<PMCA SPECTRUM>> text spectrum";
    LineScanner lines(file.bytes);
    std::string section;
    std::string tag;
    std::string unit_label;
    std::vector<std::pair<double, double>> points;
    long calibration_line = 0;
    bool data_seen = false;
    bool ended = false;
    long last_count_line = 0;
    while (auto line = lines.next()) {
        const std::string_view text = line->text;
        const std::string name = section_of(text);
        if (!name.empty()) {
            if (ended) break; // the device's own sections follow <<END>>
            if (section == "DATA") {
                ended = name == "END";
                if (!ended) break; // a section after the counts without <<END>>: the counts are whole
                section = name;
                continue;
            }
            if (name == "DATA") {
                if (data_seen) break;
                data_seen = true;
                last_count_line = line->number;
            }
            if (name == "CALIBRATION") calibration_line = line->number;
            section = name;
            continue;
        }
        if (trim(text).empty()) continue;
        if (section == "DATA") {
            std::string_view bad;
            if (!append_numbers(text, s.counts, &bad))
                return ReadOutcome::failure("line " + std::to_string(line->number) + ": " + quoted(bad) +
                                            " is not a count");
            last_count_line = line->number;
            if (s.counts.size() > (std::size_t{1} << 24))
                return ReadOutcome::failure("line " + std::to_string(line->number) + ": more than 16777216 counts");
        } else if (section == "PMCA SPECTRUM") {
            std::string key;
            std::string_view value;
            if (!key_value(text, key, value)) continue;
            if (key == "live_time") {
                if (auto v = parse_number(value)) s.live_time = *v;
            } else if (key == "real_time") {
                if (auto v = parse_number(value)) s.real_time = *v;
            } else if (key == "description") {
                s.title = std::string(value);
            } else if (key == "tag") {
                tag = std::string(value);
            }
        } else if (section == "CALIBRATION") {
            std::string key;
            std::string_view value;
            if (key_value(text, key, value)) {
                if (key == "label") unit_label = std::string(value);
                continue;
            }
            std::vector<double> pair;
            if (append_numbers(text, pair) && pair.size() == 2) points.emplace_back(pair[0], pair[1]);
        }
    }
    if (!data_seen) return ReadOutcome::failure("no <<DATA>> section");
    if (s.counts.empty())
        return ReadOutcome::failure("line " + std::to_string(last_count_line) + ": no counts after <<DATA>>");
    if (!ended)
        s.notes.push_back("no <<END>> after the counts (line " + std::to_string(last_count_line) +
                          "): the file may be cut short");
    if (s.title.empty()) s.title = tag;
    if (calibration_line) {
        s.calibration = line_through(points);
        if (s.calibration.empty()) {
            s.notes.push_back("line " + std::to_string(calibration_line) +
                              ": <<CALIBRATION>> has fewer than two channels to fix a line");
        } else {
            std::string unit;
            const double scale = label_scale(unit_label, unit);
            if (scale > 0) {
                for (double& c : s.calibration) c *= scale;
            } else {
                s.energy_unit = unit.empty() ? "keV" : unit;
            }
        }
    }
    return {std::move(s), {}};
}

} // namespace tarva
