// Fuzz target: DATA's and LOAD's readers on arbitrary file contents. The
// first byte picks the qualifier (or LOAD's column); the data set must stay
// within its capacity and the fit state within its slots, and what SAVE
// writes of the result must read back as itself.
#include <cmath>
#include <sstream>
#include <string>

#include "data_fuzz_tokens.h"
#include "files/data_file.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char qualifiers[] = {' ', 'A', 'N', 'F', 'S', '+', 'D', 'M', 'X'};
    const unsigned pick = data[0];
    // Odd first bytes read the raw bytes, even ones file-like token text.
    std::istringstream in(data[0] & 1 ? std::string(reinterpret_cast<const char*>(data + 1), size - 1)
                                      : data_file_tokens(data + 1, size - 1));
    std::ostringstream text;
    tarva::OutputSink out(text);
    tarva::DataSet d;
    tarva::FitState fit;
    // Some current points, so that A, N and the combinations have work.
    d.count = static_cast<int>(pick % 5) * 256;
    for (int i = 0; i < d.count; ++i) d.X[static_cast<std::size_t>(i)] = static_cast<float>(i + 1);
    tarva::RecordReader r(in);
    if (pick >= 200)
        (void)tarva::read_column_file(r, "f.d", static_cast<int>(pick - 199), d, out);
    else
        (void)tarva::read_data_file(r, "f.fit", qualifiers[pick % sizeof qualifiers], d, fit, out);
    if (d.count < 0 || d.count > tarva::kMaxPoints) __builtin_trap();
    if (fit.nparams < 0 || fit.nparams > tarva::kMaxParams) __builtin_trap();
    if (fit.function < 1 || fit.function > 50) __builtin_trap();
    if (d.log_y != d.log_scale_y || d.log_x != d.log_scale_x) __builtin_trap();

    // What SAVE writes of it reads back to a data set that SAVE writes the
    // same way (points carry six digits, so the first writing may round).
    // Points beyond the float range have no text the reader takes.
    for (int i = 0; i < d.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (!std::isfinite(d.X[k]) || !std::isfinite(d.Y[k]) || !std::isfinite(d.SIGMA[k])) return 0;
    }
    if (d.count == 0) return 0;
    tarva::ModelTables tables;
    const std::string saved = tarva::data_file_text(d, fit, tables);
    std::istringstream again(saved);
    tarva::RecordReader r2(again);
    tarva::DataSet d2;
    tarva::FitState fit2;
    if (!tarva::read_data_file(r2, "f.fit", ' ', d2, fit2, out)) __builtin_trap();
    if (tarva::data_file_text(d2, fit2, tables) != saved) __builtin_trap();
    return 0;
}
