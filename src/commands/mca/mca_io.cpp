#include "commands/mca/mca_io.h"

#include <fstream>

#include "models/evaluate.h"
#include "text/regular_file.h"

namespace tarva {

std::optional<std::string> read_small_file(const std::string& name, std::size_t limit) {
    std::ifstream f;
    if (!open_regular(f, name)) return std::nullopt;
    std::string bytes;
    char chunk[16384];
    while (f.read(chunk, sizeof chunk) || f.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(f.gcount()));
        if (bytes.size() > limit) return std::nullopt;
    }
    if (f.bad()) return std::nullopt;
    return bytes;
}

void select_spectrum_function(Session& s) {
    ModelInputs m{s.fit, s.data, s.models};
    select_function(m, 12);
}

} // namespace tarva
