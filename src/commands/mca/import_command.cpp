// IMPORT: spectra and tables in the layouts instruments and other programs
// write. The reading, the window and the points are the data-set
// library's (dataset/import/); this handler takes the line apart, asks for
// a missing name and reports. The file name comes first: the interpreter
// keeps only the number of a line whose argument begins with one.
//   IMPORT name [first [last]]       channels first to last (as the file
//                                    numbers them), summed as needed
//   IMPORT/C name k [first [last]]   k channels summed into each point
//   IMPORT/C k                       the same, asking for the name
//   IMPORT/X name x[,y[,sigma]] ...  the columns of a table, by name or number
//   IMPORT/Y name y ...              one column of a table as counts per channel
#include <cmath>
#include <sstream>
#include <vector>

#include "commands/commands.h"
#include "commands/front_end.h"
#include "commands/mca/mca_io.h"
#include "dataset/import/instrument_import.h"
#include "dataset/import/text_scan.h"
#include "session/dialogue.h"
#include "session/next_file_name.h"

namespace tarva {

namespace {

std::vector<std::string> words_of(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::optional<long> whole_number(const std::string& word) {
    auto v = parse_number(word);
    if (!v || std::abs(*v) > 1e15 || *v != std::floor(*v)) return std::nullopt;
    return static_cast<long>(*v);
}

// "x[,y[,sigma]]" of IMPORT/X.
ColumnChoice x_columns(const std::string& text) {
    ColumnChoice c;
    std::string* parts[] = {&c.x, &c.y, &c.sigma};
    std::size_t from = 0;
    for (std::string* part : parts) {
        const std::size_t comma = text.find(',', from);
        *part = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    return c;
}

void usage(Session& s) {
    s.out().line("IMPORT name [first [last]], IMPORT/C name k [first [last]],");
    s.out().line("IMPORT/X name x[,y[,sigma]] [first [last]], IMPORT/Y name y [first [last]]");
}

void failed(Session& s, CommandContext& ctx, const std::string& message) {
    if (!message.empty()) s.out().line(message);
    ctx.number = 1.0;
}

} // namespace

void cmd_import(Session& s, CommandContext& ctx) {
    const char q = ctx.qualifier;
    ctx.number = 0.0;
    if (q != ' ' && q != 'C' && q != 'X' && q != 'Y')
        return failed(s, ctx, std::string("Unknown option for IMPORT - ") + q + "\x07");
    const std::vector<std::string> words = words_of(ctx.argument());
    ChannelWindow window;
    ColumnChoice columns;
    std::string name;
    std::size_t at = 0; // the first word after the name and the qualifier's value
    if (q == 'C' && words.size() == 1 && whole_number(words[0])) {
        // IMPORT/C k: the name is asked for.
        const long k = *whole_number(words[0]);
        if (k < 1 || k > 65536) return failed(s, ctx, "IMPORT/C: 1 to 65536 channels to a point.");
        window.group = static_cast<int>(k);
        at = words.size();
    } else if (!words.empty()) {
        name = words[0];
        at = 1;
        if (q != ' ') {
            if (words.size() < 2) {
                usage(s);
                return failed(s, ctx, "");
            }
            if (q == 'C') {
                auto k = whole_number(words[1]);
                if (!k || *k < 1 || *k > 65536) return failed(s, ctx, "IMPORT/C: 1 to 65536 channels to a point.");
                window.group = static_cast<int>(*k);
            } else if (q == 'X') {
                columns = x_columns(words[1]);
            } else {
                columns.y = words[1];
            }
            at = 2;
        }
    } else if (q == 'X' || q == 'Y' || q == 'C') {
        usage(s);
        return failed(s, ctx, "");
    }
    std::optional<long> bounds[2];
    for (std::size_t i = 0; i < 2 && at + i < words.size(); ++i) {
        bounds[i] = whole_number(words[at + i]);
        if (!bounds[i]) {
            usage(s);
            return failed(s, ctx, "IMPORT: " + words[at + i] + " is no channel number.");
        }
    }
    if (words.size() > at + 2) {
        usage(s);
        return failed(s, ctx, "");
    }
    window.first = bounds[0];
    window.last = bounds[1];

    if (name.empty()) {
        const std::string current(s.data.file_name.trimmed());
        auto answer =
            ask_text(s, current.empty() ? "Filename for input > " : "Filename for input (" + current + ") > ", 80);
        if (!answer) return;
        name = std::string(trim(*answer));
        if (name.empty()) name = current;
        if (name.empty()) return failed(s, ctx, "");
    }
    if (upper(name.substr(0, 4)) == "NEXT") {
        name = stepped_data_file_name(s);
        if (name.empty()) return failed(s, ctx, "");
    }

    import_named(s, ctx, name, window, columns);
}

void import_named(Session& s, CommandContext& ctx, const std::string& name, const ChannelWindow& window,
                  const ColumnChoice& columns) {
    ReadOutcome read = read_instrument_file(name);
    if (!read && read.error == "does not exist") return failed(s, ctx, name + " does not exist.");
    Outcome<ImportedData> imported =
        read ? import_spectrum(*read.value, window, columns, name) : Outcome<ImportedData>::failure(read.error);
    if (!imported) return failed(s, ctx, "Unable to import " + name + ": " + imported.error);
    const ImportedData& d = *imported.value;
    store_import(d, s.data, name);
    if (d.spectrum) select_spectrum_function(s);
    for (const std::string& line : import_report(d, name)) s.out().line(line);
    if (d.spectrum && s.data.spectrum_options.sticky) s.out().line(" Experimental parameters in file not loaded.");
}

} // namespace tarva
