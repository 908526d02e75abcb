#include "session/next_file_name.h"

#include <sys/stat.h>

#include "text/format.h"

namespace tarva {

namespace {

// True when a file (not a directory) of that name exists.
bool regular_file_exists(const std::string& name) {
    if (name.find('\0') != std::string::npos) return false;
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

bool next_file_name(Session& s, std::string& name) {
    std::string work = name;
    left_justify(work);
    const std::string_view text(work.data(), last_nonblank(work));
    const std::size_t stem_end = std::min(text.find('.'), text.size());
    auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t last = stem_end;
    while (last > 0 && !is_digit(text[last - 1])) --last;
    if (last == 0) {
        s.out().line("No numeric part to increment");
        return false;
    }
    // Digits [first, last): at most six of them.
    std::size_t first = last - 1;
    while (first > 0 && is_digit(text[first - 1]) && last - first < 6) --first;
    long long n = read_integer_field(text.substr(first, last - first)).value_or(0);
    const std::string_view before = text.substr(0, first);
    const std::string_view after = text.substr(last);
    constexpr int kTries = 100;
    for (int i = 0; i < kTries; ++i) {
        ++n;
        std::string digits = free_int(n).substr(1);
        std::string candidate = std::string(before) + digits + std::string(after);
        if (regular_file_exists(candidate)) {
            name = candidate;
            return true;
        }
    }
    s.out().line("Cannot find a new file within " + format_I(kTries, 3) + " of exisiting file.");
    return false;
}

} // namespace tarva
