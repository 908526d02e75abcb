// The $SPEC_ID: / $DATA: text spectrum of gamma and X-ray MCAs (written
// by ORTEC's Maestro, the IAEA's programs and many portable MCAs). The
// file is a sequence of blocks, each opened by a line "$NAME:":
//   $SPEC_ID:   the spectrum's title on the next line
//   $MEAS_TIM:  live time and real time in seconds
//   $DATA:      first and last channel, then one count per channel (one or
//               several to a line)
//   $ENER_FIT:  energy offset and keV per channel
//   $MCA_CAL:   the number of coefficients, then the coefficients of the
//               energy polynomial and its unit
// Other blocks ($SPEC_REM:, $DATE_MEA:, $ROI:, $PRESETS:, ...) are skipped.
// The first and last channel may also stand on the $DATA: line itself.
#include <cmath>

#include "dataset/import/readers.h"
#include "dataset/import/text_scan.h"

namespace tarva {

namespace {

struct Block {
    std::string name;      // upper case, without "$" and ":"
    TextLine head;         // the "$NAME:" line
    std::string_view rest; // what follows the colon on that line
    std::vector<TextLine> body;
};

// "$NAME:" opens a block; the name holds letters, digits, "_" and ".".
bool block_head(std::string_view line, std::string& name, std::string_view& rest) {
    const std::string_view t = trim(line);
    if (t.size() < 3 || t[0] != '$') return false;
    const std::size_t colon = t.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    for (char c : t.substr(1, colon - 1))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.'))
            return false;
    name = lower_ascii(t.substr(1, colon - 1));
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    rest = trim(t.substr(colon + 1));
    return true;
}

std::vector<Block> blocks_of(std::string_view bytes) {
    std::vector<Block> blocks;
    LineScanner lines(bytes);
    while (auto line = lines.next()) {
        std::string name;
        std::string_view rest;
        if (block_head(line->text, name, rest)) {
            blocks.push_back(Block{name, *line, rest, {}});
        } else if (!blocks.empty()) {
            blocks.back().body.push_back(*line);
        }
    }
    return blocks;
}

const Block* find(const std::vector<Block>& blocks, std::string_view name) {
    for (const Block& b : blocks)
        if (b.name == name) return &b;
    return nullptr;
}

// The words of a block, the rest of its head line first.
std::vector<std::string_view> words_of(const Block& b) {
    std::vector<std::string_view> words = split_fields(b.rest);
    for (const TextLine& l : b.body)
        for (std::string_view w : split_fields(l.text)) words.push_back(w);
    return words;
}

std::optional<long> channel_number(std::string_view word) {
    auto v = parse_number(word);
    if (!v || *v != std::floor(*v) || std::abs(*v) > 1e9) return std::nullopt;
    return static_cast<long>(*v);
}

// Scale of an energy unit to keV; 0 when the unit is not an energy.
double kev_scale(std::string_view unit) {
    const std::string u = lower_ascii(trim(unit));
    if (u == "kev") return 1.0;
    if (u == "ev") return 1e-3;
    if (u == "mev") return 1e3;
    return 0.0;
}

// The calibration of $MCA_CAL: (preferred, it may be quadratic) or
// $ENER_FIT:. A calibration whose coefficients beyond the offset are all
// zero is none.
void read_calibration(const std::vector<Block>& blocks, InstrumentSpectrum& s) {
    std::vector<double> coefficients;
    std::string unit = "keV";
    if (const Block* b = find(blocks, "MCA_CAL")) {
        std::vector<std::string_view> w = words_of(*b);
        auto n = w.empty() ? std::nullopt : channel_number(w[0]);
        if (n && *n >= 1 && static_cast<std::size_t>(*n) < w.size() && *n <= 3) {
            for (long i = 1; i <= *n; ++i) {
                auto v = parse_number(w[static_cast<std::size_t>(i)]);
                if (!v) {
                    coefficients.clear();
                    break;
                }
                coefficients.push_back(*v);
            }
            if (static_cast<std::size_t>(*n) + 1 < w.size()) unit = std::string(w[static_cast<std::size_t>(*n) + 1]);
        }
        if (coefficients.empty())
            s.notes.push_back("line " + std::to_string(b->head.number) +
                              ": $MCA_CAL: not read (a count, then as many coefficients)");
    }
    if (coefficients.empty()) {
        if (const Block* b = find(blocks, "ENER_FIT")) {
            for (std::string_view w : words_of(*b)) {
                auto v = parse_number(w);
                if (!v || coefficients.size() == 3) break;
                coefficients.push_back(*v);
            }
            if (coefficients.size() < 2) {
                s.notes.push_back("line " + std::to_string(b->head.number) +
                                  ": $ENER_FIT: not read (offset and slope)");
                coefficients.clear();
            }
        }
    }
    bool any = false;
    for (std::size_t i = 1; i < coefficients.size(); ++i) any = any || coefficients[i] != 0.0;
    if (!any) return;
    const double scale = kev_scale(unit);
    if (scale > 0) {
        for (double& c : coefficients) c *= scale;
        s.energy_unit = "keV";
    } else {
        s.energy_unit = unit;
    }
    s.calibration = coefficients;
}

} // namespace

namespace {

// The first line a block and a $DATA: block further on; with `range` also
// the first and last channel after $DATA: (on its line or the next).
bool spe_marks(std::string_view bytes, bool range) {
    if (looks_binary(bytes)) return false;
    LineScanner lines(bytes);
    bool first = true, data = false;
    while (auto line = lines.next()) {
        if (trim(line->text).empty()) continue;
        std::string name;
        std::string_view rest;
        const bool head = block_head(line->text, name, rest);
        if (first && !head) return false;
        first = false;
        if (!data && !(head && name == "DATA")) continue;
        if (!range) return true;
        const std::vector<std::string_view> ends = split_fields(data ? line->text : rest);
        if (ends.empty() && !data) {
            data = true;
            continue;
        }
        auto a = ends.size() == 2 ? channel_number(ends[0]) : std::nullopt;
        auto b = ends.size() == 2 ? channel_number(ends[1]) : std::nullopt;
        return a && b && *b >= *a;
    }
    return false;
}

} // namespace

bool spe_text_signature(std::string_view bytes) { return spe_marks(bytes, false); }

bool spe_text_certain(std::string_view bytes) { return spe_marks(bytes, true); }

ReadOutcome read_spe_text(const FileBytes& file) {
    const std::vector<Block> blocks = blocks_of(file.bytes);
    InstrumentSpectrum s;
    s.layout = "$SPEC_ID/$DATA text spectrum";
    const Block* data = find(blocks, "DATA");
    if (!data) return ReadOutcome::failure("no $DATA: block");

    // First and last channel: on the $DATA: line or the next one.
    std::string_view range = data->rest;
    std::size_t body_from = 0;
    if (trim(range).empty() && !data->body.empty()) {
        range = data->body[0].text;
        body_from = 1;
    }
    const std::vector<std::string_view> ends = split_fields(range);
    const long range_line = body_from ? data->body[0].number : data->head.number;
    auto first = ends.size() >= 2 ? channel_number(ends[0]) : std::nullopt;
    auto last = ends.size() >= 2 ? channel_number(ends[1]) : std::nullopt;
    if (!first || !last || ends.size() != 2)
        return ReadOutcome::failure("line " + std::to_string(range_line) +
                                    ": $DATA: needs the first and the last channel number");
    if (*last < *first || *last - *first >= (1L << 24))
        return ReadOutcome::failure("line " + std::to_string(range_line) + ": $DATA: channels " +
                                    std::to_string(*first) + "-" + std::to_string(*last) + " make no spectrum");
    const auto expected = static_cast<std::size_t>(*last - *first + 1);
    s.first_channel = *first;
    s.counts.reserve(expected);
    long last_line = range_line;
    for (std::size_t i = body_from; i < data->body.size(); ++i) {
        const TextLine& l = data->body[i];
        std::string_view bad;
        if (!append_numbers(l.text, s.counts, &bad))
            return ReadOutcome::failure("line " + std::to_string(l.number) + ": " + quoted(bad) + " is not a count");
        if (!trim(l.text).empty()) last_line = l.number;
    }
    if (s.counts.size() < expected)
        return ReadOutcome::failure("line " + std::to_string(last_line) + ": $DATA: promises " +
                                    std::to_string(expected) + " counts (channels " + std::to_string(*first) + "-" +
                                    std::to_string(*last) + "), the block ends after " +
                                    std::to_string(s.counts.size()));
    if (s.counts.size() > expected) {
        s.notes.push_back(std::to_string(s.counts.size() - expected) + " numbers after channel " +
                          std::to_string(*last) + " ignored");
        s.counts.resize(expected);
    }

    if (const Block* id = find(blocks, "SPEC_ID")) {
        if (!id->rest.empty()) s.title = std::string(id->rest);
        for (std::size_t i = 0; s.title.empty() && i < id->body.size(); ++i)
            s.title = std::string(trim(id->body[i].text));
    }
    if (const Block* t = find(blocks, "MEAS_TIM")) {
        std::vector<double> times;
        for (std::string_view w : words_of(*t)) {
            auto v = parse_number(w);
            if (!v) break;
            times.push_back(*v);
        }
        if (!times.empty()) s.live_time = times[0];
        if (times.size() >= 2) s.real_time = times[1];
    }
    read_calibration(blocks, s);
    return {std::move(s), {}};
}

} // namespace tarva
