// tarva-xylib FILE: reads FILE with xylib and writes what it found to
// standard output as an xylib reply (xylib_reply.h).
//
// tarva runs this small program for every file none of its own readers
// takes, instead of calling xylib in its own process: xylib's binary
// readers follow offsets from the file without checking them (a corrupt
// file can make them read outside their buffers), some print warnings on
// standard error, and the library is a shared C++ library while tarva links
// its C++ runtime statically. Here a crash or a hang ends only this
// process, the warnings become notes of the reply, and tarva starts without
// loading xylib at all.
//
// The layout is found by content: every layout's own check in xylib's
// order, those whose file extension matches first (the extension only
// breaks ties; a layout whose check accepts any file, Bruker's SPC, is
// tried only by its extension),
// except xylib's generic text and CSV readers (tarva reads plain tables
// itself). The first layout whose check passes and whose
// reader succeeds gives the reply.
#include <xylib/xylib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "dataset/import/xylib_reply.h"

namespace {

using tarva::XylibReply;

void limit_resources() {
    // A runaway reader stops on its own; the caller also has a deadline.
    rlimit cpu{30, 31};
    setrlimit(RLIMIT_CPU, &cpu);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    rlimit memory{rlim_t{4} << 30, rlim_t{4} << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool extension_matches(const xylibFormat* f, const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const std::string ext = lower(path.substr(dot + 1));
    std::istringstream words(f->exts ? f->exts : "");
    std::string w;
    while (words >> w)
        if (w == ext) return true;
    return false;
}

// xylib's layouts in the order they are tried.
std::vector<const xylib::FormatInfo*> candidates(const std::string& path) {
    std::vector<const xylib::FormatInfo*> matching, others;
    for (int i = 0;; ++i) {
        const xylibFormat* f = xylib_get_format(i);
        if (!f) break;
        const std::string name = f->name;
        if (name == "text" || name == "csv") continue;
        auto* fi = static_cast<const xylib::FormatInfo*>(f);
        // A layout whose check accepts anything is tried only by its extension.
        if (extension_matches(f, path))
            matching.push_back(fi);
        else if (fi->checker && name != "bruker_spc")
            others.push_back(fi);
    }
    matching.insert(matching.end(), others.begin(), others.end());
    return matching;
}

void describe(const xylib::DataSet& ds, XylibReply& r) {
    const xylib::Block* block = ds.get_block(0);
    r.blocks = ds.get_block_count();
    r.title = block->get_name();
    for (const xylib::MetaData* m : {&ds.meta, &block->meta})
        for (std::size_t i = 0; i < m->size(); ++i) {
            const std::string& key = m->get_key(i);
            r.meta.emplace_back(key, m->get(key));
        }
    const int columns = std::min<int>(block->get_column_count(), static_cast<int>(tarva::kXylibMostColumns));
    if (block->get_column_count() > columns)
        r.notes.push_back("only the first " + std::to_string(columns) + " of " +
                          std::to_string(block->get_column_count()) + " columns read");
    long rows = block->get_point_count();
    if (rows < 0) rows = 0;
    const long most = static_cast<long>(tarva::kXylibMostValues / static_cast<std::size_t>(std::max(columns, 1)));
    if (rows > most) {
        r.notes.push_back("only the first " + std::to_string(most) + " of " + std::to_string(rows) + " rows read");
        rows = most;
    }
    for (int c = 1; c <= columns; ++c) {
        const xylib::Column& col = block->get_column(c);
        r.column_names.push_back(col.get_name());
        std::vector<double> values(static_cast<std::size_t>(rows));
        for (long i = 0; i < rows; ++i) values[static_cast<std::size_t>(i)] = col.get_value(static_cast<int>(i));
        r.columns.push_back(std::move(values));
    }
}

XylibReply read(const std::string& path) {
    XylibReply r;
    std::ifstream f(path, std::ios::in | std::ios::binary);
    if (!f) {
        r.kind = XylibReply::Kind::error;
        r.error = "cannot open the file";
        return r;
    }
    XylibReply first_failure;
    for (const xylib::FormatInfo* fi : candidates(path)) {
        r.tried.push_back(fi->desc);
        f.clear();
        f.seekg(0);
        bool fits = false;
        try {
            fits = xylib::check_format(fi, f, nullptr);
        } catch (const std::exception&) {
            fits = false;
        }
        if (!fits) continue;
        try {
            // By name: some readers look for companion files beside it.
            std::unique_ptr<xylib::DataSet> ds(xylib::load_file(path, fi->name));
            if (ds->get_block_count() < 1 || ds->get_block(0)->get_column_count() < 1 ||
                ds->get_block(0)->get_point_count() < 1)
                throw xylib::FormatError("no data in the file");
            r.kind = XylibReply::Kind::data;
            r.format = fi->name;
            r.description = fi->desc;
            describe(*ds, r);
            return r;
        } catch (const std::exception& e) {
            if (first_failure.kind != XylibReply::Kind::error) {
                first_failure.kind = XylibReply::Kind::error;
                first_failure.format = fi->desc;
                first_failure.error = e.what();
            }
        }
    }
    if (first_failure.kind == XylibReply::Kind::error) {
        first_failure.tried = r.tried;
        return first_failure;
    }
    r.kind = XylibReply::Kind::none;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tarva-xylib FILE\n";
        return 2;
    }
    limit_resources();
    // xylib's warnings go to standard error: keep them for the reply.
    std::FILE* warnings = std::tmpfile();
    if (warnings) dup2(fileno(warnings), 2);
    XylibReply reply = read(argv[1]);
    if (warnings) {
        std::fflush(stderr);
        std::rewind(warnings);
        char line[256];
        while (std::fgets(line, sizeof line, warnings) && reply.notes.size() < 20) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            if (!text.empty()) reply.notes.push_back("xylib: " + text);
        }
    }
    const std::string out = tarva::encode_xylib_reply(reply);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
