#include "commands/mca/mca_io.h"

#include <fstream>
#include <sys/stat.h>

#include "models/evaluate.h"

namespace tarva {

std::optional<std::string> read_small_file(const std::string& name, std::size_t limit) {
    struct stat st {};
    if (name.find('\0') != std::string::npos || ::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > limit)
        return std::nullopt;
    std::ifstream f(name, std::ios::in | std::ios::binary);
    if (!f.is_open()) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    f.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(f.gcount()));
    if (f.bad()) return std::nullopt;
    return bytes;
}

void select_spectrum_function(Session& s) {
    ModelInputs m{s.fit, s.data, s.models};
    select_function(m, 12);
}

} // namespace tarva
