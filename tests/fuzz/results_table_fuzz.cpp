// Fuzz target: the rows of a batch run's results table, as --merge-tables
// reads them from partial tables. Any line splits into fields; fields
// written back as a row split into the very same fields; and the table of
// such rows has every line (header included) as wide as its header.
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_table.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarva;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::vector<std::string> f = csv_split(text.substr(start, end - start));
        start = end + 1;
        for (std::string& field : f)
            for (char& c : field)
                if (c == '\n' || c == '\r') c = ' '; // no file name holds a line end
        while (f.size() < 2) f.emplace_back("x");
        const std::vector<std::string> fit(f.begin() + 2, f.end());
        const std::string row = table_row(f[0], f[1], fit);
        if (csv_split(row) != f) std::abort();
        rows.push_back(row);
    }
    const std::string table = table_text(rows, true);
    std::size_t width = 0;
    start = 0;
    while (start < table.size()) {
        const std::size_t end = table.find('\n', start);
        if (end == std::string::npos) std::abort(); // every line ends
        const std::size_t n = csv_split(std::string_view(table).substr(start, end - start)).size();
        if (width == 0) width = n;
        if (n != width) std::abort();
        start = end + 1;
    }
    return 0;
}
