#include "batch/batch_table.h"

#include <algorithm>
#include <fstream>

#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

std::string number(double v) { return std::string(trim(free_real_exact(v))); }

// Parameter columns beyond the fixed ones, from a field count.
int params_of(std::size_t fields) {
    return fields <= kFixedColumns ? 0 : static_cast<int>((fields - kFixedColumns + 2) / 3);
}

bool looks_like_header(const std::vector<std::string>& f) {
    return f.size() >= kFixedColumns && f[0] == "file" && f[1] == "status" && f[2] == "function";
}

} // namespace

std::string csv_field(std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::vector<std::string> csv_split(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"')
                fields.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::vector<std::string> fit_fields(const LastFit& fit) {
    if (!fit.done) return {};
    std::vector<std::string> f{free_int(fit.function).substr(1), free_int(fit.points).substr(1),
                               number(fit.reduced_chi_square), free_int(fit.iterations).substr(1), fit.stop};
    for (int k = 0; k < fit.nparams; ++k) {
        f.emplace_back(trim(fit.names[k].view()));
        f.push_back(number(fit.value[k]));
        f.push_back(fit.error_determined[k] ? number(fit.error[k]) : std::string());
    }
    return f;
}

std::string table_row(std::string_view file, std::string_view status, const std::vector<std::string>& fit) {
    std::string row = csv_field(file) + "," + csv_field(status);
    for (const std::string& f : fit) row += "," + csv_field(f);
    return row;
}

std::string table_header(int params) {
    std::string h = "file,status,function,points,reduced_chi_square,iterations,stop";
    for (int k = 1; k <= params; ++k) {
        const std::string n = free_int(k).substr(1);
        h += ",name_" + n + ",value_" + n + ",error_" + n;
    }
    return h;
}

std::string table_text(const std::vector<std::string>& rows, bool header) {
    std::vector<std::size_t> widths;
    widths.reserve(rows.size());
    int params = 0;
    for (const std::string& r : rows) {
        widths.push_back(csv_split(r).size());
        params = std::max(params, params_of(widths.back()));
    }
    const std::size_t width = kFixedColumns + 3 * static_cast<std::size_t>(params);
    std::string text = header ? table_header(params) + "\n" : std::string();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += rows[i];
        if (widths[i] < width) text.append(width - widths[i], ',');
        text += '\n';
    }
    return text;
}

std::optional<std::vector<std::string>> read_table_rows(const std::string& path, std::string& error) {
    std::ifstream in;
    if (!open_regular(in, path)) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::vector<std::string> rows;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::vector<std::string> f = csv_split(line);
        if (number == 1 && looks_like_header(f)) continue;
        if (f.size() < 2 || f[0].empty() || f[1].empty()) {
            error = path + ", line " + free_int(number).substr(1) + ": not a row of a results table";
            return std::nullopt;
        }
        rows.push_back(line);
    }
    if (in.bad()) {
        error = "cannot read " + path + " to its end";
        return std::nullopt;
    }
    return rows;
}

} // namespace tarva
