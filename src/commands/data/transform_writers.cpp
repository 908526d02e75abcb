// SPECIA's writers: a table of the current model function over a range of
// x, and data files (read back by DATA) of the data or of the model at
// the data points.
#include <array>
#include <cmath>

#include "commands/data/data_transforms.h"
#include "models/evaluate.h"
#include "session/dialogue.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva::special {

namespace {

// More lines than any sensible table: a step typed a few decades too small
// would otherwise fill the disk.
constexpr long long kMaxTableLines = 1000000;

std::vector<std::string> words_of(std::string_view text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while ((i = text.find_first_not_of(' ', i)) != std::string_view::npos) {
        const std::size_t end = std::min(text.find(' ', i), text.size());
        words.emplace_back(text.substr(i, end - i));
        i = end;
    }
    return words;
}

// Asks for the output file name; blank when the user gave none.
std::optional<std::string> ask_output_name(Session& s) {
    auto answer = ask_file_name(s, "Filename for output (CR to abort) > ", 30);
    if (!answer) return std::nullopt;
    return std::string(trim(*answer));
}

// Commits the file; reports a failure that left the old file in place.
bool commit_file(Session& s, SafeFileWriter& file, const std::string& name) {
    if (file.commit() == ReplaceStatus::Ok) return true;
    s.out().line("Unable to write " + name + " completely.\x07");
    return false;
}

} // namespace

void write_function_table(Session& s, const CommandContext& ctx) {
    OutputSink& out = s.out();
    out.line("Write a file of X, F(X) ordered pairs.");
    out.blank_line();
    // After the letter F: the file name (six characters at most) and the step count.
    const std::vector<std::string> words = words_of(ctx.argument().substr(1));
    std::string name = words.empty() ? std::string() : words[0].substr(0, 6);
    long long steps = 0;
    if (words.size() > 1)
        if (auto v = read_real_field(words[1])) steps = round_nearest(*v);
    if (name.empty()) {
        auto answer = ask_output_name(s);
        if (!answer || answer->empty()) return;
        name = *answer;
    }
    if (name.find('.') == std::string::npos) name += ".dat";
    SafeFileWriter file(name);
    if (!file.open()) {
        out.line("Unable to open " + name);
        return;
    }
    out.line("Output in file " + name);
    out.blank_line();

    float first = 0.0f, last = 0.0f, step = 0.0f;
    if (steps == 0) {
        double v[3] = {0.0, 0.0, 0.0};
        if (!ask_numbers(s, "Xinitial, Xfinal, Xstep (0,0,0 to abort) > ", v)) return;
        if (v[0] == 0.0 && v[1] == 0.0 && v[2] == 0.0) return;
        first = static_cast<float>(v[0]);
        last = static_cast<float>(v[1]);
        step = static_cast<float>(v[2]);
    } else {
        double a = 0.0, b = 0.0;
        if (!ask_number_pair(s, "Xinitial, Xfinal (0,0 to abort) > ", a, b)) return;
        if (a == 0.0 && b == 0.0) return;
        first = static_cast<float>(a);
        last = static_cast<float>(b);
        step = (last - first) / static_cast<float>(steps);
        out.line("Step size = " + g12(step));
    }
    // The lines to write, counted first: a step of the wrong sign or zero
    // would never pass the end of the range.
    const float end = last + step / 2.0f;
    if (first <= end && !(step > 0.0f)) {
        out.line("The step must be positive.\x07");
        return;
    }
    long long lines = 0;
    while (first + static_cast<float>(lines) * step <= end) {
        if (++lines > kMaxTableLines) {
            out.line("Too many ordered pairs: the step is too small.\x07");
            return;
        }
    }
    auto answer = ask_letter(s, "Write (x,y) ordered pairs (O) or just y (Y) > ");
    if (!answer) return;
    const bool y_only = *answer == 'Y';

    ModelInputs inputs{s.fit, s.data, s.models};
    const std::array<double, kMaxParams> params = s.fit.value;
    float x = first;
    for (long long k = 0; k < lines; ++k) {
        x = first + static_cast<float>(k) * step;
        const double f = evaluate(inputs, params, x);
        file.write(y_only ? " " + g12(f) + "\n" : " " + g13(x) + "," + g13(f) + "\n");
    }
    if (!commit_file(s, file, name)) return;
    out.line(format_I(lines, 10) + " ordered pairs generated.");
    out.line("From X = " + g12(first) + " to X = " + g12(x));
    out.blank_line();
}

void write_data_file(Session& s, char which) {
    OutputSink& out = s.out();
    out.line(which == 'G' ? "XX1, Y" : "XX1, F(X)");
    out.blank_line();
    out.line("Write a file of X, F(X) ordered pairs.");
    out.blank_line();
    auto answer = ask_output_name(s);
    if (!answer || answer->empty()) return;
    std::string name = *answer;
    name = name.substr(0, std::min({name.find('.'), name.find(' '), std::size_t{25}})) + ".fit";

    const DataSet& d = s.data;
    std::string text = std::string(d.caption.trimmed()) + (which == 'G' ? "Y values  " : "Function  ") + "\n";
    text += std::string(d.x_label.trimmed()) + "\n";
    text += std::string(d.y_label.trimmed()) + "\n";
    // Function 5 (no function) with one parameter 0, fixed; 0 dimensions.
    text += " 5,1\n 0\n 0\n 0\n";
    std::vector<double> f;
    if (which == 'H') f = model_at_points(s);
    for (int i = 0; i < d.count; ++i) {
        const auto u = static_cast<std::size_t>(i);
        const double v = which == 'G' ? d.Y[u] : f[u];
        const double e = which == 'G' ? d.SIGMA[u] : 0.0;
        text += " " + g13(d.X[u]) + "," + g13(v) + "," + g13(e) + "\n";
    }
    SafeFileWriter file(name);
    if (!file.open()) {
        out.line("Unable to open " + name);
        return;
    }
    file.write(text);
    commit_file(s, file, name);
}

} // namespace tarva::special
