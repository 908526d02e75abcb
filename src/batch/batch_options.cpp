#include "batch/batch_options.h"

#include <cmath>
#include <fstream>
#include <string_view>

#include "io/input_stack.h"
#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

std::optional<long long> whole_number(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos || text.size() > 9)
        return std::nullopt;
    return read_integer_field(text);
}

bool read_list(const std::string& path, std::vector<std::string>& files, std::string& error) {
    std::ifstream in;
    if (!open_regular(in, path)) {
        error = "cannot read the file list " + path;
        return false;
    }
    while (auto line = read_record(in))
        if (!line->empty()) files.push_back(*line);
    if (in.bad()) {
        error = "cannot read the file list " + path + " to its end";
        return false;
    }
    return true;
}

} // namespace

std::optional<BatchOptions> read_batch_options(int argc, const char* const* argv, int first, bool merge,
                                               std::string& error) {
    BatchOptions o;
    o.merge = merge;
    int i = first;
    if (!merge) {
        if (i >= argc) {
            error = "--batch needs a macro file and the files to run it on";
            return std::nullopt;
        }
        o.macro = argv[i++];
    }
    bool options = true;
    for (; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (!options || a.size() < 2 || a[0] != '-') {
            o.files.emplace_back(a);
            continue;
        }
        if (a == "--") {
            options = false;
            continue;
        }
        // Options with a value take it from the next argument, or after "="
        // (and -j also as -j4).
        std::string_view name = a, value;
        bool inline_value = false;
        if (auto eq = a.find('='); a.substr(0, 2) == "--" && eq != std::string_view::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inline_value = true;
        } else if (a.substr(0, 2) == "-j" && a.size() > 2) {
            name = "-j";
            value = a.substr(2);
            inline_value = true;
        }
        auto take = [&]() -> bool {
            if (inline_value) return true;
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (name == "--no-progress" && !merge) {
            o.progress = false;
        } else if (name == "--table" || name == "--table-part") {
            if (!take()) return std::nullopt;
            if (value.empty()) {
                error = std::string(name) + " needs a file name";
                return std::nullopt;
            }
            o.table = value;
            o.table_part = name == "--table-part";
        } else if (merge) {
            error = "unknown option \"" + std::string(a) + "\" of --merge-tables";
            return std::nullopt;
        } else if (name == "-j" || name == "--jobs") {
            if (!take()) return std::nullopt;
            auto n = whole_number(value);
            if (!n || *n < 1) {
                error = "-j needs a number of workers (1 or more), not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            o.jobs = static_cast<int>(*n);
        } else if (name == "--logs") {
            if (!take()) return std::nullopt;
            o.logs = value;
        } else if (name == "--timeout") {
            if (!take()) return std::nullopt;
            auto t = read_real_field(value);
            if (!t || !std::isfinite(*t) || *t <= 0 || *t > 1e6) {
                error = "--timeout needs seconds (above 0), not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            o.timeout = *t;
        } else if (name == "--share") {
            if (!take()) return std::nullopt;
            const std::size_t slash = value.find('/');
            auto k = whole_number(value.substr(0, slash));
            auto n = slash == std::string_view::npos ? std::nullopt : whole_number(value.substr(slash + 1));
            if (!k || !n || *n < 1 || *k >= *n) {
                error = "--share needs K/N with K from 0 to N-1, not \"" + std::string(value) + "\"";
                return std::nullopt;
            }
            o.share = static_cast<int>(*k);
            o.shares = static_cast<int>(*n);
        } else if (name == "--files-from") {
            if (!take()) return std::nullopt;
            if (!read_list(std::string(value), o.files, error)) return std::nullopt;
        } else {
            error = "unknown option \"" + std::string(a) + "\" of --batch";
            return std::nullopt;
        }
    }
    if (o.files.empty()) {
        error =
            merge ? "--merge-tables needs the partial tables to merge" : "--batch needs the files to run the macro on";
        return std::nullopt;
    }
    for (const std::string& f : o.files)
        if (f.find_first_of("\r\n") != std::string::npos) {
            error = "a file name holds a line end; the table cannot name it";
            return std::nullopt;
        }
    return o;
}

} // namespace tarva
