// Plain text tables: rows of numbers, every row as many as the first,
// separated by blanks, tabs or commas, or by semicolons (then a comma in a
// number is its decimal comma). Lines beginning with #, !, ; or % are
// comments; lines of text before the first row are a header, the last of
// them the column names when it names as many columns as the rows hold;
// lines of text after the last row are a footer. Both are skipped and
// reported.
//
// Written here rather than taken from xylib's text reader, which reads
// such tables too: it skips header and comment lines without saying so,
// keeps no column names (a header row becomes the block's name, whole),
// names no line when a row is bad, and reads ";"-separated tables with
// decimal commas only by an option chosen beforehand.
#include <algorithm>

#include "dataset/import/readers.h"
#include "dataset/import/text_scan.h"

namespace tarva {

namespace {

constexpr std::size_t kMostColumns = 64;
constexpr std::size_t kMostRows = std::size_t{1} << 24;

bool comment_line(std::string_view t) {
    const std::string_view s = trim(t);
    return !s.empty() && (s[0] == '#' || s[0] == '!' || s[0] == ';' || s[0] == '%');
}

std::string_view unquoted(std::string_view f) {
    f = trim(f);
    if (f.size() >= 2 && (f.front() == '"' || f.front() == '\'') && f.back() == f.front())
        f = trim(f.substr(1, f.size() - 2));
    return f;
}

std::vector<std::string_view> split_on(std::string_view line, char sep) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = line.find(sep, from);
        fields.push_back(
            unquoted(line.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from)));
        if (at == std::string_view::npos) break;
        from = at + 1;
    }
    // A separator at the end of the row leaves no column.
    if (fields.size() > 1 && fields.back().empty()) fields.pop_back();
    return fields;
}

// The numbers of a row, or nullopt (and the first field that is none).
bool row_numbers(std::string_view line, std::vector<double>& out, std::string_view& bad) {
    out.clear();
    if (line.find(';') != std::string_view::npos) {
        for (std::string_view f : split_on(line, ';')) {
            auto v = parse_number(f, true);
            if (!v) {
                bad = f;
                return false;
            }
            out.push_back(*v);
        }
        return true;
    }
    std::size_t at = 0;
    std::string_view f;
    while (next_field(line, at, f)) {
        auto v = parse_number(unquoted(f));
        if (!v) {
            bad = f;
            return false;
        }
        out.push_back(*v);
    }
    return !out.empty();
}

// Column names of a header row, split on its own separator.
std::vector<std::string> names_of(std::string_view line) {
    std::vector<std::string_view> parts;
    if (line.find(';') != std::string_view::npos)
        parts = split_on(line, ';');
    else if (line.find(',') != std::string_view::npos)
        parts = split_on(line, ',');
    else if (line.find('\t') != std::string_view::npos)
        parts = split_on(line, '\t');
    else
        parts = split_fields(line);
    std::vector<std::string> names;
    for (std::string_view p : parts) names.emplace_back(unquoted(p));
    return names;
}

std::string lines_text(std::size_t n, std::string_view what) {
    return std::to_string(n) + (n == 1 ? " line " : " lines ") + std::string(what);
}

} // namespace

bool text_table_signature(std::string_view bytes) { return !looks_binary(bytes); }

ReadOutcome read_text_table(const FileBytes& file) {
    InstrumentSpectrum s;
    s.layout = "plain text table";
    LineScanner lines(file.bytes);
    std::vector<TextLine> header;
    std::size_t comments = 0, footer = 0;
    long first_footer = 0;
    std::string_view first_footer_field;
    bool gap_in_rows = false, comment_in_rows = false;
    bool blank_pending = false;
    std::vector<double> row;
    std::size_t columns = 0;
    NumberTable& t = s.table;
    while (auto line = lines.next()) {
        const std::string_view text = line->text;
        if (trim(text).empty()) {
            blank_pending = columns > 0;
            continue;
        }
        if (comment_line(text)) {
            ++comments;
            if (columns > 0 && footer == 0) comment_in_rows = true;
            continue;
        }
        std::string_view bad;
        if (!row_numbers(text, row, bad)) {
            if (columns == 0) {
                header.push_back(*line);
            } else if (footer++ == 0) {
                first_footer = line->number;
                first_footer_field = bad;
            }
            continue;
        }
        if (footer > 0)
            return ReadOutcome::failure("line " + std::to_string(first_footer) + ": " + quoted(first_footer_field) +
                                        " is not a number");
        if (columns == 0) {
            columns = row.size();
            if (columns > kMostColumns)
                return ReadOutcome::failure("line " + std::to_string(line->number) + ": more than " +
                                            std::to_string(kMostColumns) + " columns");
            t.columns.assign(columns, {});
        } else if (row.size() != columns) {
            return ReadOutcome::failure("line " + std::to_string(line->number) + ": " + std::to_string(row.size()) +
                                        (row.size() == 1 ? " number" : " numbers") + " where the rows above have " +
                                        std::to_string(columns));
        }
        if (t.rows() == kMostRows)
            return ReadOutcome::failure("line " + std::to_string(line->number) + ": more than " +
                                        std::to_string(kMostRows) + " rows");
        gap_in_rows = gap_in_rows || blank_pending;
        blank_pending = false;
        for (std::size_t c = 0; c < columns; ++c) t.columns[c].push_back(row[c]);
    }
    if (columns == 0)
        return ReadOutcome::failure("no rows of numbers in " + std::to_string(lines.last_number()) + " lines");

    t.names.assign(columns, "");
    std::size_t text_before = header.size();
    if (!header.empty()) {
        std::vector<std::string> names = names_of(header.back().text);
        if (names.size() == columns) {
            t.names = names;
            --text_before;
            std::string list;
            for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
            s.notes.push_back("column names (line " + std::to_string(header.back().number) + "): " + list);
        }
    }
    if (comments)
        s.notes.push_back(std::to_string(comments) + (comments == 1 ? " comment line" : " comment lines") + " skipped");
    if (text_before) s.notes.push_back(lines_text(text_before, "of text before the table skipped"));
    if (footer) s.notes.push_back(lines_text(footer, "of text after the table skipped"));
    s.loose = text_before > 0 || footer > 0 || gap_in_rows || comment_in_rows;
    return {std::move(s), {}};
}

} // namespace tarva
