#include "files/data_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "models/catalogue.h"
#include "models/evaluate.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr const char* kBell = "\x07";

std::string at_least_one(std::string_view text) { return text.empty() ? std::string(" ") : std::string(text); }

// The caption line; an empty file is tried once more after a rewind.
// False (message written) when the file gives no caption.
bool read_caption(RecordReader& in, std::string_view name, std::string& caption, OutputSink& out) {
    ReadStatus st = in.next(caption);
    if (st == ReadStatus::End) {
        out.line("File " + std::string(name) + " empty, no new data read.");
        out.line("Trying again after a rewind.");
        in.rewind();
        st = in.next(caption);
        if (st == ReadStatus::End) {
            out.line("File " + std::string(name) + " empty, no new data read.");
            return false;
        }
    }
    if (st == ReadStatus::Error) {
        out.line("Error reading title in file " + std::string(name) + " no new data read.");
        return false;
    }
    return true;
}

// Caption and both labels. When `store` is set they replace the data set's
// texts and are shown; otherwise they are read and discarded. A label line
// missing at the end of the file reads as blank: the records after it then
// fail in turn and are reported there.
bool read_header(RecordReader& in, std::string_view name, DataSet& data, OutputSink& out, bool store) {
    std::string caption;
    if (!read_caption(in, name, caption, out)) return false;
    std::string x_label, y_label;
    if (in.next(x_label) != ReadStatus::Ok) x_label.clear();
    if (in.next(y_label) != ReadStatus::Ok) y_label.clear();
    if (!store) return true;
    data.caption = caption;
    data.x_label = x_label;
    data.y_label = y_label;
    out.line("Caption : " + at_least_one(data.caption.trimmed()));
    out.line(" X axis : " + std::string(data.x_label.trimmed()));
    out.line(" Y axis : " + std::string(data.y_label.trimmed()));
    out.blank_line();
    return true;
}

// The function-number record with its checks. Returns the number of
// parameters to read; sets the function number in `function`.
int read_function_record(RecordReader& in, int& function, int current_function, int current_count, OutputSink* out,
                         int& errors) {
    std::array<long long, 2> v{current_function, current_count};
    if (read_integers(in, v) != ReadStatus::Ok) {
        ++errors;
        function = 5;
        return 1;
    }
    long long f = v[0], n = v[1];
    if (n > kMaxParams) {
        if (out) out->line("To many parameters (" + format_I(n, 5) + ") maximum possible = 50");
        n = kMaxParams;
        ++errors;
    } else if (n < 0) {
        if (out) out->line("Negative number of parameters (" + format_I(n, 5) + ") set to 0.");
        n = 0;
        ++errors;
    }
    if (f < 1) {
        if (out) out->line("Negative or zero function number (" + format_I(f, 5) + ") it must be positive.");
        f = 5;
        ++errors;
    } else if (f > 50) {
        if (out) out->line("Function number (" + format_I(f, 5) + ") too large, the largest is 50.");
        f = 5;
        ++errors;
    }
    function = static_cast<int>(f);
    return static_cast<int>(n);
}

// Steps 1 to 3 of a plain read: function record, slots cleared (all 50, or
// the first n), parameter values and masks.
void read_fit_state(RecordReader& in, FitState& fit, OutputSink& out, int& errors, bool clear_all) {
    int function = 5;
    const int n = read_function_record(in, function, fit.function, fit.nparams, &out, errors);
    fit.function = function;
    fit.nparams = n;
    const int clear = clear_all ? kMaxParams : n;
    for (int i = 0; i < clear; ++i) {
        fit.value[static_cast<std::size_t>(i)] = 0.0;
        fit.mask[static_cast<std::size_t>(i)] = 0;
        fit.set_param_name(i, "Unused");
        fit.error[static_cast<std::size_t>(i)] = 0.0;
    }
    const auto count = static_cast<std::size_t>(n);
    if (read_reals(in, std::span<double>(fit.value.data(), count)) != ReadStatus::Ok) {
        out.line("Error reading function parameters.");
        ++errors;
    }
    std::array<long long, kMaxParams> masks{};
    for (std::size_t i = 0; i < count; ++i) masks[i] = fit.mask[i];
    const ReadStatus st = read_integers(in, std::span<long long>(masks.data(), count));
    for (std::size_t i = 0; i < count; ++i) fit.mask[i] = static_cast<int>(masks[i]);
    if (st != ReadStatus::Ok) {
        out.line("Error reading parameter masks.");
        ++errors;
    }
}

// Passes the fit-state records and the number-of-dimensions record of a file
// whose points are wanted without its fit state. What goes wrong here shows
// in the point records that follow.
void skip_fit_state(RecordReader& in) {
    int function = 5, errors = 0;
    const int n = read_function_record(in, function, 5, 1, nullptr, errors);
    std::array<double, kMaxParams> values{};
    std::array<long long, kMaxParams> masks{};
    (void)read_reals(in, std::span<double>(values.data(), static_cast<std::size_t>(n)));
    (void)read_integers(in, std::span<long long>(masks.data(), static_cast<std::size_t>(n)));
    std::array<long long, 1> dims{};
    (void)read_integers(in, dims);
}

// Step 6: points stored from index `first` on until the end of the file or
// the capacity. Returns the number of points held afterwards.
int read_points(RecordReader& in, DataSet& data, int first, OutputSink& out, int& errors) {
    int stored = first;
    while (stored < kMaxPoints) {
        const auto i = static_cast<std::size_t>(stored);
        std::array<float, 3> p{data.X[i], data.Y[i], data.SIGMA[i]};
        const ReadStatus st = read_floats(in, p);
        if (st == ReadStatus::End) break;
        if (st == ReadStatus::Error) {
            out.line("Error in X,Y,DelY data at line " + format_I(stored, 4));
            ++errors;
            continue;
        }
        data.X[i] = p[0];
        data.Y[i] = p[1];
        data.SIGMA[i] = p[2];
        ++stored;
        if (stored == kMaxPoints) out.line("Too many points in data file, end at 1024.");
    }
    return stored;
}

void report_errors(int errors, OutputSink& out) {
    out.line("As " + format_I(errors, 2) + " errors were detected in this data file,");
    out.line(std::string("the data may not have been read in correctly.") + kBell);
}

// Steps 7 and 8 after the points of a plain, A or N read.
bool finish_points(DataSet& data, int stored, int errors, OutputSink& out) {
    if (data.dimensions < 0) data.dimensions = 0;
    data.count = stored;
    if (stored == 0) {
        out.line("Error in X,Y,DelY data, no data has been read in.");
        out.blank_line();
        return false;
    }
    out.line(format_I(stored, 4) + " points in data file.");
    out.blank_line();
    if (errors > 0) {
        report_errors(errors, out);
        return false;
    }
    return true;
}

bool read_plain(RecordReader& in, std::string_view name, DataSet& data, FitState& fit, OutputSink& out) {
    if (!read_header(in, name, data, out, true)) return false;
    int errors = 0;
    read_fit_state(in, fit, out, errors, true);
    std::array<long long, 1> dims{data.dimensions};
    if (read_integers(in, dims) != ReadStatus::Ok) {
        out.line("Error reading number of dimensions, this suggests that");
        out.line("insufficient parameters or parameter masks were given.");
        out.line("There should have been " + format_I(fit.nparams, 2) + " of each.");
        ++errors;
        dims[0] = 0;
    }
    data.dimensions = static_cast<int>(dims[0]);
    data.log_y = data.log_x = data.log_scale_y = data.log_scale_x = 0;
    if (data.dimensions == -1 || data.dimensions == -3) data.log_y = data.log_scale_y = 1;
    if (data.dimensions == -2 || data.dimensions == -3) data.log_x = data.log_scale_x = 1;
    const int stored = read_points(in, data, 0, out, errors);
    return finish_points(data, stored, errors, out);
}

bool read_fit_only(RecordReader& in, std::string_view name, DataSet& data, FitState& fit, OutputSink& out) {
    if (!read_header(in, name, data, out, false)) return false;
    int errors = 0;
    read_fit_state(in, fit, out, errors, false);
    out.blank_line();
    out.line("Function " + format_I(fit.function, 2) + " with " + format_I(fit.nparams, 2) + " variables read.");
    out.line("Variables above " + format_I(fit.nparams, 2) + " were not reset.");
    if (errors > 0) {
        report_errors(errors, out);
        return false;
    }
    return true;
}

bool read_more_points(RecordReader& in, std::string_view name, char qualifier, DataSet& data, OutputSink& out) {
    out.line(qualifier == 'A' ? "Appending new data file to old."
                              : "Reading new data points, using old function, etc.");
    if (!read_header(in, name, data, out, false)) return false;
    skip_fit_state(in);
    int first = 0;
    if (qualifier == 'A') {
        first = std::clamp(data.count, 0, kMaxPoints);
        if (first >= kMaxPoints) {
            out.line("Insufficient memory for more data.");
            return true;
        }
    }
    int errors = 0;
    const int stored = read_points(in, data, first, out, errors);
    return finish_points(data, stored, errors, out);
}

void combine_point(char op, float& y, float& sigma, float y_new, float sigma_new, int i, int& zeros, OutputSink& out) {
    switch (op) {
    case 'S': y = y - y_new; break;
    case '+': y = y + y_new; break;
    case 'M': {
        const float y0 = y, s0 = sigma;
        sigma = s0 * y_new + sigma_new * y0;
        y = y0 * y_new;
        break;
    }
    default: { // D
        const float square = y_new * y_new;
        if (!(square > 1e-20f)) {
            y = 0.0f;
            sigma = 0.0f;
            if (++zeros <= 10) out.line("Zero data point in denominator file at line " + format_I(i, 3));
            break;
        }
        sigma = (sigma_new * y + sigma * y_new) / square;
        y = y / y_new;
        break;
    }
    }
}

bool read_combining(RecordReader& in, std::string_view name, char op, DataSet& data, OutputSink& out) {
    switch (op) {
    case 'S': out.line("Subtracting new data file from old."); break;
    case '+': out.line("Adding new data file to old."); break;
    case 'D': out.line("Dividing old data by new data."); break;
    default: out.line("Multiplying old data by new data."); break;
    }
    if (!read_header(in, name, data, out, false)) return false;
    skip_fit_state(in);
    int mismatches = 0, zeros = 0;
    const int n = std::clamp(data.count, 0, kMaxPoints);
    for (int k = 0; k < n; ++k) {
        const int i = k + 1;
        std::array<float, 3> p{0.0f, 0.0f, 0.0f};
        const ReadStatus st = read_floats(in, p);
        if (st == ReadStatus::End) {
            out.line("End of file at line " + format_I(i, 5));
            return true;
        }
        if (st == ReadStatus::Error) {
            out.line("Error in new data file at line " + format_I(i, 4));
            out.blank_line();
            return true;
        }
        const auto u = static_cast<std::size_t>(k);
        const float x_old = data.X[u];
        const float d = x_old - p[0];
        if (!(std::fabs(static_cast<double>(d)) <= 1e-10) && ++mismatches <= 10)
            out.line("X mismatch at " + format_I(i, 4) + " Xold=" + format_G(x_old, 12, 5, 1) +
                     " Xnew=" + format_G(p[0], 12, 5, 1) + " err=" + format_G(d, 12, 5, 1));
        combine_point(op, data.Y[u], data.SIGMA[u], p[1], p[2], i, zeros, out);
    }
    return true;
}

} // namespace

bool read_data_file(RecordReader& in, std::string_view name, char qualifier, DataSet& data, FitState& fit,
                    OutputSink& out) {
    switch (qualifier) {
    case 'A':
    case 'N': return read_more_points(in, name, qualifier, data, out);
    case 'F': return read_fit_only(in, name, data, fit, out);
    case 'S':
    case '+':
    case 'D':
    case 'M': return read_combining(in, name, qualifier, data, out);
    default: return read_plain(in, name, data, fit, out);
    }
}

bool read_column_file(RecordReader& in, std::string_view name, int column, DataSet& data, OutputSink& out) {
    column = std::clamp(column, 1, kMaxLoadColumn);
    if (!read_header(in, name, data, out, true)) return false;
    int stored = 0, errors = 0;
    const auto items = static_cast<std::size_t>(column) + 1;
    for (;;) {
        float x = 0.0f, y = 0.0f;
        const ReadStatus st = read_float_items(in, items, [&](std::size_t i, float v) {
            if (i == 0) x = v;
            if (i + 1 == items) y = v;
        });
        if (st == ReadStatus::End) break;
        if (st == ReadStatus::Error) {
            out.line("Error in data file at line " + format_I(stored + 3, 4));
            out.blank_line();
            ++errors;
            continue;
        }
        if (stored == kMaxPoints) {
            out.line("Too many points in data file, end at 1024.");
            break;
        }
        const auto i = static_cast<std::size_t>(stored);
        data.X[i] = x;
        data.Y[i] = y;
        data.SIGMA[i] = 0.0f;
        ++stored;
    }
    data.count = stored;
    if (data.dimensions < 0) data.dimensions = 0;
    if (stored == 0) {
        out.line("Error in data, no data has been read in.");
        out.blank_line();
        return false;
    }
    out.line(format_I(stored, 4) + " points in data file.");
    if (errors > 0) {
        report_errors(errors, out);
        return false;
    }
    return true;
}

void begin_table(std::string_view name, DataSet& data, FitState& fit) {
    data.file_name = name;
    fit.error.fill(0.0);
    data.x_label = "";
    data.y_label = "";
    const std::size_t dot = name.find('.');
    data.caption = (dot == std::string_view::npos || dot == 0) ? name : name.substr(0, dot);
}

int table_code_from_answer(double answer) {
    if (answer < 0) {
        const int n = round_nearest(-answer);
        return n < 1 ? 3 : -std::min(n, kMaxPoints + 1);
    }
    const int code = round_nearest(answer);
    return code < 1 ? 3 : code;
}

namespace {

float statistical_error(float y) { return std::sqrt(std::fabs(y)); }

} // namespace

bool read_table(RecordReader& in, std::string_view name, int code, DataSet& data, OutputSink& out) {
    int stored = 0;
    auto too_many = [&] {
        out.line("Too many points in data file.");
        out.blank_line();
    };
    auto store = [&](float x, float y, float sigma) {
        const auto i = static_cast<std::size_t>(stored++);
        data.X[i] = x;
        data.Y[i] = y;
        data.SIGMA[i] = sigma;
    };
    auto format_error = [&](long long k, int width) {
        out.line("Format error in data file at line " + format_I(k, width));
    };
    // A record of more values than the data set holds never fits, whatever
    // their number: such codes all read as one, which keeps code - 3 in range.
    code = std::max(code, -(kMaxPoints + 1));
    data.dimensions = code - 3;

    if (code == 4 || code == 5) {
        data.dimensions = code;
        out.line(code == 4 ? "Reading optical transmission data" : "Reading 3 column data with x in 1 and y in 3.");
        long lines = 0;
        for (;;) {
            if (stored >= kMaxPoints) {
                too_many();
                break;
            }
            std::array<float, 4> v{};
            const std::size_t want = code == 4 ? 4 : 3;
            const ReadStatus st = read_floats(in, std::span<float>(v.data(), want));
            if (st == ReadStatus::End) break;
            const long line = lines++;
            if (st == ReadStatus::Error) {
                format_error(code == 4 ? line / 3 + 1 : stored, 4);
                continue;
            }
            if (code == 4)
                store(v[0] + static_cast<float>(line % 3) / 3.0f, v[3], 0.0f);
            else
                store(v[0], v[2], 0.0f);
        }
        out.line(format_I(stored, 4) + " points loaded from data file.");
        // Every point read is kept, the last one included: the count is the
        // number stored, the number just reported.
        data.count = stored;
        return stored > 0;
    }

    float x_first = 0.0f;
    if (code == 8) {
        out.line("Statistical errors selected.");
        data.x_label = "Channel";
        data.y_label = "Counts";
        std::string heading;
        const ReadStatus st = in.next(heading);
        if (st == ReadStatus::Ok) {
            const std::string part(data.caption.trimmed());
            const std::string head(trimmed(heading));
            data.caption = "^j^j^j" + part + "^n^n^n" + head;
            out.line(part + ":" + head);
            out.blank_line();
        }
        if (st == ReadStatus::End) code = 0; // no records follow
    } else if (code < 0) {
        data.x_label = "Channel";
        data.y_label = "Counts";
    }

    const int per_record = code < 0 ? -code : code == 8 ? 8 : 1;
    // Values per record as read from the file.
    const std::size_t items = code < 0    ? static_cast<std::size_t>(-code)
                              : code == 8 ? 9
                              : code == 1 ? 1
                              : code == 2 ? 2
                                          : static_cast<std::size_t>(std::max(code, 3));
    bool first_record = true;
    std::array<float, 9> v{};
    float last = 0.0f;
    // Made once: a new one for every record would be an allocation each.
    const std::function<void(std::size_t, float)> keep = [&](std::size_t i, float value) {
        if (i < v.size()) v[i] = value;
        if (i + 1 == items) last = value;
    };
    while (code != 0) {
        if (stored + per_record > kMaxPoints) {
            too_many();
            break;
        }
        v.fill(0.0f);
        last = 0.0f;
        std::vector<float> values;
        ReadStatus st;
        if (code < 0) {
            values.assign(items, 0.0f);
            st = read_floats(in, values);
        } else {
            st = read_float_items(in, items, keep);
        }
        if (st == ReadStatus::End) break;
        if (st == ReadStatus::Error) {
            format_error(stored + 1, 10);
            continue;
        }
        if (code < 0) {
            for (float y : values) store(static_cast<float>(stored + 1), y, 0.0f);
        } else if (code == 8) {
            if (first_record) x_first = v[0];
            for (int k = 1; k <= 8; ++k) {
                const float y = v[static_cast<std::size_t>(k)];
                store(static_cast<float>(stored) + x_first, y, std::max(statistical_error(y), 1.0f));
            }
        } else if (code == 1) {
            store(static_cast<float>(stored), v[0], statistical_error(v[0]));
        } else if (code == 2) {
            store(v[0], v[1], 0.0f);
        } else if (code == 3) {
            store(v[0], v[1], v[2]);
        } else {
            store(v[0], v[1], last);
        }
        first_record = false;
    }
    data.count = stored;
    if (data.dimensions < 0 || code == 8 || code == 0) data.dimensions = 0;
    if (code > 5 && code != 8) data.dimensions = 3;
    if (stored == 0) {
        out.line("?QVMAKE - End of data file " + std::string(name));
        return false;
    }
    out.line(format_I(stored, 4) + " points in data file.");
    out.blank_line();
    return true;
}

int encoded_dimensions(const DataSet& data) {
    if (data.log_y && data.log_x) return -3;
    if (data.log_x) return -2;
    if (data.log_y) return -1;
    return data.dimensions;
}

namespace {

// Free-format items on lines of at most 80 columns, each line beginning
// with the blank of its first item.
void append_items(std::string& text, const std::vector<std::string>& items) {
    std::size_t column = 0;
    bool any = false;
    for (const std::string& item : items) {
        if (any && column + item.size() > 80) {
            text += '\n';
            column = 0;
        }
        text += item;
        column += item.size();
        any = true;
    }
    if (!any) text += ' ';
    text += '\n';
}

} // namespace

std::string data_file_text(const DataSet& data, FitState& fit, const ModelTables& tables) {
    std::string text;
    const int n = std::clamp(data.count, 0, kMaxPoints);
    text.reserve(400 + static_cast<std::size_t>(n) * 70);
    text += at_least_one(data.caption.trimmed()) + '\n';
    text += at_least_one(data.x_label.trimmed()) + '\n';
    text += at_least_one(data.y_label.trimmed()) + '\n';
    const int count = std::clamp(fit.nparams, 0, kMaxParams);
    text += free_int(fit.function) + free_int(fit.nparams) + '\n';
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) items.push_back(free_real_exact(fit.value[static_cast<std::size_t>(i)]));
    append_items(text, items);
    items.clear();
    for (int i = 0; i < count; ++i) items.push_back(free_int(fit.mask[static_cast<std::size_t>(i)]));
    append_items(text, items);
    text += free_int(encoded_dimensions(data)) + '\n';

    const bool with_fit = data.log_y || takes_parameters(fit.function);
    ModelInputs inputs{fit, data, tables};
    const std::array<double, kMaxParams> params = fit.value;
    for (int i = 0; i < n; ++i) {
        const auto u = static_cast<std::size_t>(i);
        text += ' ';
        text += format_G(data.X[u], 14, 6, 1);
        text += ',';
        text += format_G(data.Y[u], 14, 6, 1);
        text += ',';
        text += format_G(data.SIGMA[u], 14, 6, 1);
        if (with_fit) {
            text += "   FIT ";
            text += format_G(evaluate(inputs, params, data.X[u]), 14, 6, 1);
        }
        text += '\n';
    }
    return text;
}

} // namespace tarva
