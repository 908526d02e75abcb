// Fuzz target: IMPORT's own readers on arbitrary bytes, then the import
// step with a window taken from the bytes. The first byte picks the reader
// ($SPEC_ID/$DATA, PMCA, CHN, plain table, or the choice among them all)
// and whether the bytes come raw or behind a valid head of that layout with
// number-like tokens, so the readers meet both garbage and near-files.
// Checks: a reader's result is whole (finite counts, columns of equal
// length), the points fit the data set and the data set stays consistent.
#include <cmath>
#include <cstdlib>
#include <string>

#include "data_fuzz_tokens.h"
#include "dataset/import/instrument_import.h"
#include "dataset/import/readers.h"
#include "fuzz_target.h"

namespace {

using namespace tarva;

// Without the reader program: the choice among the readers must not start
// processes here (xylib_reply_fuzz runs the program).
[[maybe_unused]] const int kNoXylib = ::setenv("TARVA_XYLIB_READER", "/nonexistent/tarva-xylib", 1);

std::string chn_head(const std::uint8_t* data, std::size_t size) {
    std::string b(32, '\0');
    b[0] = b[1] = static_cast<char>(0xFF);
    b[28] = static_cast<char>(size > 1 ? data[1] : 0);
    b[30] = static_cast<char>(size > 2 ? data[2] % 64 : 1);
    b[31] = 0;
    return b + std::string(reinterpret_cast<const char*>(data), size);
}

void check(const InstrumentSpectrum& s) {
    for (double c : s.counts)
        if (!std::isfinite(c)) __builtin_trap();
    for (const auto& col : s.table.columns)
        if (col.size() != s.table.rows()) __builtin_trap();
    if (s.is_table() && !s.table.columns.empty() && s.table.names.size() != s.table.columns.size()) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const unsigned pick = data[0];
    const ChannelWindow window{pick & 16 ? std::optional<long>(static_cast<signed char>(data[1])) : std::nullopt,
                               pick & 32 ? std::optional<long>(data[2] * 4) : std::nullopt,
                               (pick & 64) ? data[3] % 9 : 0};
    data += 4;
    size -= 4;
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const bool shaped = pick & 8;
    std::string bytes;
    ReadOutcome r;
    switch (pick % 5) {
    case 0:
        bytes = shaped ? "$SPEC_ID:\r\nx\r\n$MEAS_TIM:\n1 2\n$DATA:\n0 " + std::to_string(size) + "\n" +
                             data_file_tokens(data, size) + "\n$MCA_CAL:\n3\n1 2 3 eV\n"
                       : raw;
        r = read_spe_text({"f.spe", bytes});
        break;
    case 1:
        bytes = shaped ? "<<PMCA SPECTRUM>>\nLIVE_TIME - 5\n<<CALIBRATION>>\nLABEL - eV\n1 2\n3 4\n<<DATA>>\n" +
                             data_file_tokens(data, size) + "\n<<END>>\n"
                       : raw;
        r = read_pmca_text({"f.mca", bytes});
        break;
    case 2:
        bytes = shaped ? chn_head(data, size) : raw;
        r = read_chn({"f.chn", bytes});
        break;
    case 3:
        bytes = shaped ? data_file_tokens(data, size) : raw;
        r = read_text_table({"f.txt", bytes});
        break;
    default: r = read_instrument_data("f", shaped ? data_file_tokens(data, size) : raw); break;
    }
    if (!r) {
        if (r.error.empty()) __builtin_trap();
        return 0;
    }
    check(*r.value);
    ColumnChoice columns;
    if (pick & 128) columns.y = "2";
    auto imported = import_spectrum(*r.value, window, columns, "f");
    if (!imported) return 0;
    const ImportedData& d = *imported.value;
    if (d.x.size() > static_cast<std::size_t>(kMaxPoints) || d.x.size() != d.y.size() || d.y.size() != d.sigma.size())
        __builtin_trap();
    if (d.spectrum && d.counts.size() != d.x.size()) __builtin_trap();
    if (d.first_read > d.last_read || d.group < 1) __builtin_trap();
    (void)import_report(d, "f");
    DataSet set;
    store_import(d, set, "f");
    if (set.count != static_cast<int>(d.x.size()) || set.spectrum_loaded != (d.spectrum ? 1 : 0)) __builtin_trap();
    return 0;
}
