// Fuzz target: what comes back from the xylib reader program. The reply
// decoder gets arbitrary text (half of the time behind a valid first line
// and a data header); a reply it accepts must encode and decode to itself
// and import without breaking the data set. Every 64th input is also
// written to a file and read by the real reader program, so xylib's
// readers meet garbage in their own process while this one only waits.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "data_fuzz_tokens.h"
#include "dataset/import/instrument_import.h"
#include "dataset/import/xylib_reader.h"
#include "fuzz_target.h"

namespace {

using namespace tarva;

[[maybe_unused]] const int kReader = ::setenv("TARVA_XYLIB_READER", TARVA_XYLIB_READER_BINARY, 1);

bool same(const XylibReply& a, const XylibReply& b) {
    if (a.columns.size() != b.columns.size()) return false;
    for (std::size_t c = 0; c < a.columns.size(); ++c) {
        if (a.columns[c].size() != b.columns[c].size()) return false;
        for (std::size_t i = 0; i < a.columns[c].size(); ++i) {
            const double x = a.columns[c][i], y = b.columns[c][i];
            if (!(x == y || (std::isnan(x) && std::isnan(y)))) return false;
        }
    }
    return a.kind == b.kind && a.format == b.format && a.description == b.description && a.error == b.error &&
           a.tried == b.tried && a.blocks == b.blocks && a.title == b.title && a.meta == b.meta &&
           a.column_names == b.column_names && a.notes == b.notes;
}

void import_checked(const XylibReply& reply) {
    ReadOutcome r = spectrum_of_reply(reply);
    if (!r) return;
    auto imported = import_spectrum(*r.value, {}, {}, "f");
    if (!imported) return;
    if (imported.value->x.size() > static_cast<std::size_t>(kMaxPoints)) __builtin_trap();
    DataSet set;
    store_import(*imported.value, set, "f");
    if (set.count < 0 || set.count > kMaxPoints) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static long calls = 0;
    if (size == 0) return 0;
    const unsigned pick = data[0];
    const std::string raw(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string text = raw;
    if (pick & 1) {
        text = std::string(kXylibReplyMagic) + "\nformat canberra_cnf\tCanberra CNF\nblocks 1\nmeta energy calib 1\t" +
               std::to_string(pick) + "\ncolumn x\ncolumn y\nrows " + std::to_string(pick % 5) + "\n" +
               data_file_tokens(data + 1, size - 1) + "\nend\n";
    }
    if (auto reply = decode_xylib_reply(text)) {
        auto again = decode_xylib_reply(encode_xylib_reply(*reply));
        if (!again || !same(*reply, *again)) __builtin_trap();
        import_checked(*reply);
    }
    if (++calls % 64 == 0) {
        const std::string name = (std::filesystem::temp_directory_path() /
                                  ("tarva_xylib_fuzz_" + std::to_string(::getpid()) + (pick & 2 ? ".cnf" : ".dat")))
                                     .string();
        std::ofstream(name, std::ios::binary) << raw;
        ReadOutcome r = read_with_xylib({name, raw});
        std::filesystem::remove(name);
        if (!r && r.error.empty()) __builtin_trap();
        if (r) {
            auto imported = import_spectrum(*r.value, {}, {}, "f");
            if (imported && imported.value->x.size() > static_cast<std::size_t>(kMaxPoints)) __builtin_trap();
        }
    }
    return 0;
}
