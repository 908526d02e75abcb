// The table of readers and the choice among them.
#include <array>
#include <fstream>
#include <sys/stat.h>

#include "dataset/import/instrument_import.h"
#include "dataset/import/readers.h"
#include "dataset/import/text_scan.h"
#include "dataset/import/xylib_reader.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

constexpr std::size_t kLargestFile = std::size_t{64} << 20;

bool any_file(std::string_view) { return true; }

constexpr std::array<InstrumentReader, 5> kReaders{{
    {"$SPEC_ID/$DATA text spectrum", spe_text_signature, read_spe_text, true},
    {"<<PMCA SPECTRUM>> text spectrum", pmca_text_signature, read_pmca_text, true},
    {"ORTEC CHN binary spectrum", chn_signature, read_chn, true},
    {"plain text table", text_table_signature, read_text_table, false},
    {"xylib's layouts", any_file, read_with_xylib, false},
}};

std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}

bool canberra_mca_signature(std::string_view b) {
    return b.size() >= 2 * 512 + 2048 * 4 && u16(b, 0) == 0 && u16(b, 34) == 4 && u16(b, 36) == 2048 && u16(b, 38) == 1;
}

// The first of the 48-byte section records of a CNF file.
bool canberra_cnf_signature(std::string_view b) {
    return b.size() > 160 && looks_binary(b) && b[113] == 0x20 && b[114] == 0x01 &&
           static_cast<unsigned char>(b[112]) < 0x10;
}

ReadOutcome named(const InstrumentReader& r, ReadOutcome outcome) {
    if (!outcome) outcome.error = std::string(r.name) + ": " + outcome.error;
    return outcome;
}

} // namespace

std::span<const InstrumentReader> instrument_readers() { return kReaders; }

bool xylib_spectrum_signature(std::string_view bytes) {
    return canberra_mca_signature(bytes) || canberra_cnf_signature(bytes);
}

std::string spectrum_layout_of(std::string_view bytes) {
    for (const InstrumentReader& r : kReaders) {
        const bool certain = r.signature == spe_text_signature ? spe_text_certain(bytes) : r.signature(bytes);
        if (r.spectrum_file && certain) return r.name;
    }
    if (canberra_mca_signature(bytes)) return "Canberra MCA binary spectrum";
    if (canberra_cnf_signature(bytes)) return "Canberra CNF binary spectrum";
    return {};
}

Outcome<std::string> read_instrument_bytes(const std::string& path) {
    struct stat st {};
    if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &st) != 0)
        return Outcome<std::string>::failure("does not exist");
    if (!S_ISREG(st.st_mode)) return Outcome<std::string>::failure("is no regular file");
    if (static_cast<unsigned long long>(st.st_size) > kLargestFile)
        return Outcome<std::string>::failure("is larger than 64 MB");
    std::ifstream in;
    if (!open_regular(in, path)) return Outcome<std::string>::failure("cannot be opened");
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) return Outcome<std::string>::failure("cannot be read");
    return {std::move(bytes), {}};
}

// The layouts with certain marks first; then, for text, the plain table
// unless it leaves doubts (text or comments around its rows that may be a
// layout of xylib's); then xylib; a doubtful table when xylib has nothing
// better. A text file that is no table gets the table's complaint (it
// names the line); a binary file xylib does not know gets the list of
// layouts tried.
ReadOutcome read_instrument_data(const std::string& path, std::string_view bytes) {
    const FileBytes file{path, bytes};
    if (bytes.empty()) return ReadOutcome::failure("the file is empty");
    for (const InstrumentReader& r : kReaders)
        if (r.spectrum_file && r.signature(bytes)) return named(r, r.read(file));
    const InstrumentReader& table_reader = kReaders[3];
    const bool text = table_reader.signature(bytes);
    ReadOutcome table = text ? named(table_reader, table_reader.read(file)) : ReadOutcome::failure("");
    if (table && !table.value->loose) return table;

    std::string xylib_said;
    const std::string program = xylib_reader_program();
    if (program.empty()) {
        xylib_said = "xylib's layouts not tried: the program tarva-xylib is missing";
    } else {
        auto reply = run_xylib_reader(program, path);
        if (!reply) {
            xylib_said = reply.error;
        } else {
            ReadOutcome x = spectrum_of_reply(*reply.value);
            if (x) return x;
            xylib_said = x.error;
            if (reply.value->kind == XylibReply::Kind::error) {
                if (!text) return x;
                xylib_said = "xylib's layouts: none fits";
            }
        }
    }
    if (table || text) return table;
    std::string tried;
    for (const InstrumentReader& r : kReaders)
        if (r.spectrum_file) tried += std::string(r.name) + ", ";
    return ReadOutcome::failure("no layout IMPORT knows fits it; tried " + tried + "plain text table; " + xylib_said);
}

ReadOutcome read_instrument_file(const std::string& path) {
    auto bytes = read_instrument_bytes(path);
    if (!bytes) return ReadOutcome::failure(bytes.error);
    return read_instrument_data(path, *bytes.value);
}

} // namespace tarva
