// SPECIA: the qualifier picks a transform of the data set; otherwise the
// first letter of the argument text picks one of the file writers.
#include <array>

#include "commands/commands.h"
#include "commands/data/data_transforms.h"
#include "models/evaluate.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva {

namespace special {

bool ask_numbers(Session& s, std::string_view prompt, std::span<double> values, bool echo) {
    return ask_until(s, prompt,
                     [&](const std::string& line) -> std::optional<bool> {
                         std::vector<double> read(values.size(), 0.0);
                         auto n = read_list(line, read);
                         if (!n || *n < static_cast<int>(values.size())) return std::nullopt;
                         std::copy(read.begin(), read.end(), values.begin());
                         if (echo && s.macro_running()) {
                             std::string text;
                             for (double v : values) text += free_real(v);
                             s.out().raw(text + "\n");
                         }
                         return true;
                     })
        .has_value();
}

std::optional<char> ask_letter(Session& s, std::string_view prompt) {
    auto answer = ask_text(s, prompt, 1);
    if (!answer) return std::nullopt;
    return upper(*answer)[0];
}

std::vector<double> model_at_points(Session& s) {
    ModelInputs inputs{s.fit, s.data, s.models};
    const std::array<double, kMaxParams> params = s.fit.value;
    std::vector<double> f(static_cast<std::size_t>(s.data.count));
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = evaluate(inputs, params, s.data.X[i]);
    return f;
}

bool enough_points(Session& s, int least) {
    if (s.data.count >= least) return true;
    s.out().line("Not enough data points for this transform.\x07");
    return false;
}

std::string label_text(std::string_view text) {
    return std::string(text.substr(0, std::min<std::size_t>(text.size(), 100)));
}

} // namespace special

void cmd_special(Session& s, CommandContext& ctx) {
    if (special::run_point_transform(s, ctx)) return;
    switch (ctx.qualifier) {
    case 'H': special::grid_shadow_pairs(s); return;
    case 'I': special::grid_shadow_alternative(s); return;
    case 'J': special::multipole_scaling(s); return;
    case 'K': special::multiplet_grid_shadow(s); return;
    default: break;
    }
    const std::string_view argument = ctx.argument();
    const char letter = upper(argument.substr(0, 1))[0];
    if (letter == 'F') {
        special::write_function_table(s, ctx);
    } else if (letter == 'G' || letter == 'H') {
        special::write_data_file(s, letter);
    } else {
        s.out().line(std::string("?QVSPECIAL - Unknown option - ") + ctx.qualifier);
    }
}

} // namespace tarva
