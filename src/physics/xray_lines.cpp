#include "physics/xray_lines.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>

#include "io/input_stack.h"
#include "io/output_sink.h"
#include "physics/element_table.h"
#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

// An Fw.d input field: a field without a decimal point has d implied
// decimals, as a Fortran read gives them.
std::optional<float> read_f_field(std::string_view field, int decimals) {
    auto v = read_real_field(field);
    if (!v) return std::nullopt;
    if (field.find_first_of(".eEdD") == std::string_view::npos) *v /= std::pow(10.0, decimals);
    return static_cast<float>(*v);
}

// Columns [from, from + width) of a record, blank-padded as a Fortran read
// pads a short record.
std::string_view columns(const std::string& record, std::size_t from, std::size_t width) {
    if (from >= record.size()) return {};
    return std::string_view(record).substr(from, width);
}

struct LineReader {
    std::istream& in;
    int number = 0;
    std::optional<std::string> next() {
        auto r = read_record(in);
        if (r) ++number;
        return r;
    }
};

void malformed(OutputSink& out, const std::string& file, int line) {
    out.line("Error reading the x-ray line data base " + file + " at line" + free_int(line) + ".");
}

// The pairs of one set in (10F7.3): ten fields to a record. Returns 0, or
// the number of the line that is bad or missing.
int read_pairs(LineReader& r, int count, XraySet& set) {
    const int values = 2 * count;
    int done = 0;
    while (done < values) {
        auto record = r.next();
        if (!record) return r.number + 1;
        for (int f = 0; f < 10 && done < values; ++f, ++done) {
            auto v = read_f_field(columns(*record, static_cast<std::size_t>(7 * f), 7), 3);
            if (!v) return r.number;
            const int line = done / 2;
            if (line >= kMaxXrayLines) continue;
            (done % 2 == 0 ? set.energy : set.intensity)[static_cast<std::size_t>(line)] = *v;
        }
    }
    set.count = std::min(count, kMaxXrayLines);
    return 0;
}

} // namespace

void align_set_name(FixedText<4>& name) {
    if (name[1] == ' ' && name[2] != ' ' && name[3] == ' ') {
        name[3] = name[2];
        name[2] = ' ';
    }
}

void read_xray_lines(OutputSink& out, std::istream& in, const std::string& file, XrayDatabase& db) {
    db.sets.clear();
    LineReader r{in};
    while (auto record = r.next()) {
        auto count = read_integer_field(columns(*record, 4, 4));
        auto isotope = read_integer_field(columns(*record, 9, 4));
        if (!count || !isotope) {
            malformed(out, file, r.number);
            return;
        }
        if (*count <= 0) return;
        if (static_cast<int>(db.sets.size()) == kMaxXraySets) {
            out.line("Too many x-raylines in the data base!");
            out.line("Only the first " + free_int(kMaxXraySets) + " sets of lines loaded.");
            return;
        }
        XraySet set;
        set.name = columns(*record, 0, 4);
        set.isotope = static_cast<int>(std::clamp<long long>(*isotope, -9999, 9999));
        if (const int bad = read_pairs(r, static_cast<int>(std::min<long long>(*count, 9999)), set)) {
            malformed(out, file, bad);
            return;
        }
        db.sets.push_back(set);
    }
    if (in.bad()) malformed(out, file, r.number + 1); // a read error
}

void load_xray_lines(OutputSink& out, XrayDatabase& db) {
    if (db.loaded) return;
    // A directory, a device such as /dev/zero or a fifo is no database: it
    // would fail in the middle of reading, read for ever or block in open.
    std::ifstream in;
    if (!open_regular(in, db.file)) {
        db.sets.clear();
        out.line("Unable to open the x-ray line data base " + db.file + "; no x-ray lines are known.");
        return;
    }
    read_xray_lines(out, in, db.file, db);
    db.loaded = true;
}

bool xray_set(OutputSink& out, XrayDatabase& db, FixedText<4>& name, int& isotope, int& index, int& count,
              std::array<float, kMaxXrayLines>& energies, std::array<float, kMaxXrayLines>& intensities) {
    load_xray_lines(out, db);
    auto copy = [&](std::size_t i) {
        const XraySet& set = db.sets[i];
        energies = set.energy;
        intensities = set.intensity;
        count = set.count;
        name = set.name;
        isotope = set.isotope;
        index = static_cast<int>(i) + 1;
        return true;
    };
    if (name[0] == ' ') {
        if (index < 1 || index > static_cast<int>(db.sets.size())) return false;
        return copy(static_cast<std::size_t>(index - 1));
    }
    name = upper(name.view());
    align_set_name(name);
    for (std::size_t i = 0; i < db.sets.size(); ++i) {
        const XraySet& set = db.sets[i];
        if (set.name == name.view() && (name[3] != 'G' || set.isotope == isotope)) return copy(i);
    }
    index = 0;
    count = 0;
    energies[0] = 0.0f;
    intensities[0] = 0.0f;
    return false;
}

bool lines_near(OutputSink& out, XrayDatabase& db, double& energy, FixedText<4>& name) {
    if (!name.blank() && !(name[0] == '?' && name.length() == 1)) {
        int isotope = 0, index = 0, count = 0;
        std::array<float, kMaxXrayLines> e{}, i{};
        const bool found = xray_set(out, db, name, isotope, index, count, e, i);
        energy = found && count > 0 ? e[0] : 0.0;
        return found && count > 0;
    }
    if (!(energy > 0.0)) return false;
    load_xray_lines(out, db);
    const double tolerance = energy > 50.0 ? 3.0 : 0.2;
    // F5.1 for 200.0 eV; 3000.0 eV needs one column more.
    const std::string tolerance_text = format_F(tolerance * 1000.0, tolerance < 1.0 ? 5 : 6, 1);
    bool any = false;
    double best = 0.0, best_energy = 0.0;
    FixedText<4> best_name;
    const std::size_t scanned = std::min<std::size_t>(db.sets.size(), kXraySearchSets);
    for (std::size_t k = 0; k < scanned; ++k) {
        const XraySet& set = db.sets[k];
        for (int l = 0; l < set.count; ++l) {
            const double e = set.energy[static_cast<std::size_t>(l)];
            const double distance = e - energy;
            if (std::fabs(distance) > tolerance) continue;
            if (!any) {
                out.line("Lines less than " + tolerance_text + " eV from the marker:");
                out.line("  Line   Rel. intensity   Energy (keV)   Distance (eV)");
            }
            out.line("  " + std::string(set.name.view()) + format_F(set.intensity[static_cast<std::size_t>(l)], 15, 3) +
                     format_F(e, 15, 3) + format_F(distance * 1000.0, 16, 1));
            if (!any || std::fabs(distance) < best) {
                best = std::fabs(distance);
                best_energy = e;
                best_name = set.name;
            }
            any = true;
        }
    }
    if (!any) {
        out.line("No lines in data base matched to within detector resolution " + tolerance_text + " eV");
        return false;
    }
    energy = best_energy;
    const int z = find_symbol(normalised_symbol(best_name.view().substr(0, 2)).view());
    name = z > 0 ? element_symbol(z) : best_name.view().substr(0, 2);
    return true;
}

} // namespace tarva
