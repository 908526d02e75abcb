// PHA and PHA2: one station spectrum out of a direct-access acquisition
// file, optionally binned.
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>

#include "commands/commands.h"
#include "commands/mca/mca_io.h"
#include "dataset/mca/mca_layout.h"
#include "session/dialogue.h"
#include "session/next_file_name.h"
#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

struct Station {
    int record = 1;        // 1-based record of the file
    int first_channel = 1; // 1-based channel of the record
    bool energy = true;    // E codes: every channel from the first
};

std::optional<Station> station_of(const std::string& word) {
    if (word.size() != 2 || word[1] < '1' || word[1] > '4') return std::nullopt;
    const int n = word[1] - '0';
    switch (word[0]) {
    case 'E': return Station{2 * n - 1, 1, true};
    case 'X': return Station{2 * n, 1, false};
    case 'Y': return Station{2 * n, 4097, false};
    default: return std::nullopt;
    }
}

void print_syntax(OutputSink& out) {
    out.line("Welcome to the new pha command.  The command syntax is:");
    out.line("   pha e1 runxyz         spectrum e1 in file runxyz.img");
    out.line("   pha x2 run001         spectrum x2 in file run001.img");
    out.line("   pha e3 glass1         spectrum e3 in file glass1.img");
    out.line("   pha region6           first spectrum in region6");
    out.line("   pha/2, pha/3, pha/4,... bins longer spectra");
}

// The record, or nullopt when the file is too short to hold it.
std::optional<AcquisitionRecord> read_record(std::ifstream& file, int record) {
    const auto offset = static_cast<unsigned long long>(record - 1) * kAcquisitionRecord;
    std::string bytes(kAcquisitionRecord, '\0');
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(file.gcount()) != bytes.size()) return std::nullopt;
    return decode_acquisition_record(bytes);
}

// Points of the spectrum: sums of k channels from the start channel up to
// the highest non-zero one. Returns the number of points.
int bin_channels(const AcquisitionRecord& r, const Station& st, int k, DataSet& d, OutputSink& out) {
    const int c0 = st.first_channel;
    // E codes run from c0 to c0 + 1024 k inclusive, one channel more than
    // 1024 points of k hold: counts there give the overflow message. X and
    // Y codes keep to their own half record.
    const int last = std::min(st.energy ? c0 + kMaxPoints * k : c0 + 4096 - 1, kAcquisitionChannels);
    auto count = [&](int channel) -> long long {
        return channel >= 1 && channel <= kAcquisitionChannels ? r[static_cast<std::size_t>(channel - 1)] : 0;
    };
    int highest = c0;
    for (int c = c0; c <= last; ++c)
        if (count(c) != 0) highest = c;
    int start = c0;
    if (!st.energy) {
        while (start < highest && count(start) == 0) ++start;
    }
    int points = 0;
    for (int c = start; c <= highest; c += k) {
        if (points == kMaxPoints) {
            out.line("Overflow: You may need to bin this spectrum");
            break;
        }
        long long sum = 0;
        for (int m = c; m < c + k; ++m) sum += count(m);
        const auto i = static_cast<std::size_t>(points++);
        d.X[i] = static_cast<float>(st.energy ? c - 1 : c - c0);
        d.Y[i] = static_cast<float>(sum);
    }
    return points;
}

std::string file_name_of(const std::string& name, char qualifier) {
    const std::size_t dot = name.find('.', 1);
    if (dot != std::string::npos) return name;
    return name + (qualifier == 'A' ? ".dat" : ".img");
}

} // namespace

void cmd_pha(Session& s, CommandContext& ctx) {
    OutputSink& out = s.out();
    print_syntax(out);
    const char q = ctx.qualifier;
    int k = std::isdigit(static_cast<unsigned char>(q)) ? q - '0' : 1;
    if (k == 0) k = 1;
    if (k != 1) out.line(" Bining raw data by " + std::to_string(k) + " channels into 1");

    std::istringstream words{std::string(ctx.argument())};
    std::string first;
    words >> first;
    Station station;
    std::string name;
    if (auto st = station_of(upper(first))) {
        station = *st;
        std::getline(words, name);
    } else {
        out.line(" No station number -  reading single energy spectrum");
        name = std::string(ctx.argument());
    }
    name = std::string(trim(name));
    if (name.empty()) {
        auto answer = ask_file_name(s, " PHA filename for input > ", 80);
        if (!answer) return;
        name = std::string(trim(*answer));
        if (name.empty()) return;
    }
    if (upper(name.substr(0, 4)) == "NEXT") {
        name = stepped_data_file_name(s);
        if (name.empty()) {
            ctx.number = 1.0;
            return;
        }
    }
    name = file_name_of(name, q);

    std::ifstream file;
    if (!open_regular(file, name)) {
        out.line("?qvpha - Unable to open " + name + "\x07");
        ctx.number = 1.0;
        return;
    }
    out.blank_line();
    out.line("Reading data from " + name);
    out.blank_line();
    auto record = read_record(file, station.record);
    if (!record) {
        // A short file: nothing of the data set changes.
        out.line("?qvpha - Record " + std::to_string(station.record) + " is missing in " + name + "\x07");
        ctx.number = 1.0;
        return;
    }
    DataSet& d = s.data;
    d.file_name = name;
    const int points = bin_channels(*record, station, k, d, out);
    d.count = points;
    for (std::size_t i = 0; i < static_cast<std::size_t>(kMaxPoints); ++i) {
        if (static_cast<int>(i) >= points)
            d.X[i] = d.Y[i] = d.SIGMA[i] = 0.0f;
        else
            d.SIGMA[i] = d.Y[i] >= 1.0f ? std::sqrt(d.Y[i]) : 1.0f;
        d.spectrum[i] = count_of(d.Y[i]);
    }
    d.caption = "";
    d.x_label = "Channel";
    d.y_label = "Counts";
    s.fit.nparams = 1;
    select_spectrum_function(s);
    d.log_x = d.log_y = d.log_scale_x = d.log_scale_y = 0;
    d.spectrum_loaded = 1;
    ctx.number = 0.0;
}

} // namespace tarva
