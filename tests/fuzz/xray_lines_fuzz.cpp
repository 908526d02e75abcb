// Fuzz target: the X-ray line database reader on arbitrary text (headers,
// counts, number fields, short and binary lines, missing end record).
#include <sstream>
#include <string>

#include "fuzz_target.h"
#include "io/output_sink.h"
#include "physics/xray_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // Some letters become digits, blanks, points and line ends, so random
    // text also makes headers and line records that read.
    for (char& c : text) {
        if (c >= 'a' && c <= 'j') c = static_cast<char>('0' + (c - 'a'));
        if (c == '_') c = ' ';
        if (c == ';') c = '\n';
        if (c == ':') c = '.';
    }
    std::istringstream in(text);
    std::ostringstream said;
    tarva::OutputSink out(said);
    tarva::XrayDatabase db;
    tarva::read_xray_lines(out, in, "fuzz.dat", db);
    if (db.sets.size() > tarva::kMaxXraySets) __builtin_trap();
    for (const auto& set : db.sets)
        if (set.count < 1 || set.count > tarva::kMaxXrayLines) __builtin_trap();
    double e = size % 7 * 10.0;
    tarva::FixedText<4> name;
    db.loaded = true;
    tarva::lines_near(out, db, e, name);
    return 0;
}
