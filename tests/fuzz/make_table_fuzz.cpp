// Fuzz target: MAKE's reader on arbitrary tables in every layout code,
// including negative codes and codes far beyond the menu.
#include <sstream>
#include <string>

#include "data_fuzz_tokens.h"
#include "files/data_file.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static const int codes[] = {1, 2, 3, 4, 5, 6, 8, 9, 40, -1, -7, -1024, -1025, 2000000000, -2000000000};
    const int code = tarva::table_code_from_answer(static_cast<double>(codes[data[0] % std::size(codes)]) +
                                                   (data[1] & 1 ? 0.4 : 0.0));
    // Odd first bytes read the raw bytes, even ones file-like token text.
    std::istringstream in(data[0] & 1 ? std::string(reinterpret_cast<const char*>(data + 2), size - 2)
                                      : data_file_tokens(data + 2, size - 2));
    std::ostringstream text;
    tarva::OutputSink out(text);
    tarva::DataSet d;
    tarva::FitState fit;
    tarva::begin_table("table.dat", d, fit);
    tarva::RecordReader r(in);
    (void)tarva::read_table(r, "table.dat", code, d, out);
    if (d.count < 0 || d.count > tarva::kMaxPoints) __builtin_trap();
    if (d.dimensions < 0) __builtin_trap();
    return 0;
}
