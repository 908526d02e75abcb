// LABEL: size factor, log flags for label coordinates, and labels placed on
// the last picture at markers, data points, edges or typed positions. Every
// placed label is recorded (command line and answers) for OUT.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <vector>

#include "commands/commands.h"
#include "commands/graphics/label_command.h"
#include "graphics/text.h"
#include "models/evaluate.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr std::size_t kLabelWidth = 130;

void record(Session& s, std::string_view text) { s.interp.labels.push_back(pad(text, kLabelWidth)); }

std::string command_text(const CommandContext& ctx) {
    std::string text(ctx.word());
    if (ctx.qualifier != ' ') {
        text += '/';
        text += ctx.qualifier;
    }
    const std::string_view arg = ctx.argument_trimmed();
    if (!arg.empty()) {
        text += ' ';
        text += arg;
    }
    return text;
}

// Records every answer the dialogue reads while it lives, after the command
// line already recorded, so OUT can replay the whole label.
class AnswerRecording {
public:
    explicit AnswerRecording(Session& s) : s_(s) { s_.input().record_answers(&lines_); }
    ~AnswerRecording() {
        s_.input().record_answers(nullptr);
        for (const auto& line : lines_) record(s_, line);
    }
    AnswerRecording(const AnswerRecording&) = delete;
    AnswerRecording& operator=(const AnswerRecording&) = delete;

private:
    Session& s_;
    std::vector<std::string> lines_;
};

float clamp_between(float v, float a, float b) {
    if (std::isnan(v)) return v;
    return std::clamp(v, std::min(a, b), std::max(a, b));
}

void log_flags(Session& s, char qualifier, std::string_view arg) {
    const char what = arg.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(arg[0])));
    FontSettings& f = s.fonts;
    if (qualifier == 'E' && what == 'Y') {
        f.label_log_y = true;
        s.out().line("Log taken of Y label coordinates.");
    } else if (qualifier == 'E' && what == 'X') {
        f.label_log_x = true;
        s.out().line("Log taken of X label coordinates.");
    } else if (qualifier == 'D' && what == 'Y') {
        f.label_log_y = false;
        s.out().line("Log of Y label coordinates reset to Y.");
    } else if (qualifier == 'D' && what == 'X') {
        f.label_log_x = false;
        s.out().line("Log of X label coordinates reset to X.");
    }
}

} // namespace

std::string substitute_parameters(std::string_view text, const FitState& fit) {
    std::string out(text);
    std::size_t from = 0;
    for (int done = 0; done < 50;) {
        const std::size_t at = out.find("&&", from);
        if (at == std::string::npos) break;
        std::size_t end = at + 2;
        int n = 0;
        while (end < out.size() && end < at + 4 && std::isdigit(static_cast<unsigned char>(out[end]))) {
            n = 10 * n + (out[end] - '0');
            ++end;
        }
        if (end == at + 2 || n < 1 || n > 50) {
            from = at + 2;
            continue;
        }
        const double v = fit.value[static_cast<std::size_t>(n - 1)];
        const std::string value = std::fabs(v) < 1e-20 ? format_A("0.0", 12) : format_G(v, 12, 5, 1);
        const std::string piece = std::string(fit.param_name(n - 1).trimmed()) + " = " + value;
        out.replace(at, end - at, piece);
        from = at + piece.size();
        ++done;
        if (out.size() > kLabelWidth) out.resize(kLabelWidth);
    }
    return out;
}

void cmd_label(Session& s, CommandContext& ctx) {
    const char q = ctx.qualifier;
    FontSettings& f = s.fonts;
    if (q == 'I') {
        double v = ctx.number;
        if (v <= 1e-5) {
            auto r = ask_real(s, "Current size factor " + format_F(f.label_size, 5, 3) + " new > ");
            if (!r) return;
            v = *r;
        }
        f.label_size = static_cast<float>(std::clamp(v, -1e6, 1e6));
        s.out().line("Size factor set to " + format_F(f.label_size, 5, 3));
        return;
    }
    if (q == 'E' || q == 'D') {
        log_flags(s, q, ctx.argument_trimmed());
        return;
    }
    if (!s.draw.picture_drawn) {
        s.out().line("No plot current!");
        return;
    }
    record(s, command_text(ctx));
    AnswerRecording recording(s);

    const DrawSettings& d = s.draw;
    double x = 0.0, y = 0.0;
    bool typed_x = false, typed_y = false;
    float justify = 0.0F; // fraction of the width the label is shifted back
    if (q >= '1' && q <= '6') {
        x = s.markers.x[static_cast<std::size_t>(q - '1')];
        y = s.markers.y[static_cast<std::size_t>(q - '1')];
    } else if (q == 'A' || q == 'B') {
        if (s.data.count > 0) {
            const std::size_t i = q == 'A' ? 0 : static_cast<std::size_t>(s.data.count - 1);
            x = clamp_between(s.data.X[i], d.old_xmin, d.old_xmax);
            y = clamp_between(s.data.Y[i], d.old_ymin, d.old_ymax);
        }
    } else if (q == 'T' || q == 'U' || q == 'V') {
        y = d.old_ymax;
        auto r = ask_real(s, "Y coordinate set to " + free_real(y) + " X coordinate > ");
        if (!r) return;
        x = *r;
        typed_x = true;
        if (q == 'U') justify = 0.5F;
        if (q == 'V') justify = 1.0F;
    } else if (q == 'R') {
        x = d.old_xmax;
        auto r = ask_real(s, "X coordinate set to " + free_real(x) + " Y coordinate > ");
        if (!r) return;
        y = *r;
        typed_y = true;
    } else {
        if (!ask_number_pair(s, "Label position (X,Y) > ", x, y)) return;
        if (q == 'N') {
            x += s.markers.x[0];
            y += s.markers.y[0];
        } else {
            typed_x = typed_y = true;
        }
        if (q == 'C') justify = 0.5F;
        if (q == 'S') justify = 1.0F;
    }

    auto angle = ask_real(s, "Orientation (degrees, CR for 0) > ");
    if (!angle) return;
    auto typed_size = ask_real(s, "  Character size (CR for " + format_F(f.label_size, 5, 3) + ") > ");
    if (!typed_size) return;
    double size = *typed_size <= 1e-5 ? f.label_size : *typed_size;
    if (size <= 0.0) size = 1.0;
    size = std::min(size, 1e6) * 0.75;

    auto text = ask_text(s, "Label (130 characters max.) > ", kLabelWidth);
    if (!text) return;
    // Names of the current function's parameters as an evaluation leaves them.
    ModelInputs m{s.fit, s.data, s.models};
    (void)evaluate(m, s.fit.value, 0.0F);
    const std::string label = substitute_parameters(trimmed(*text), s.fit);

    // Typed coordinates are values on a logarithmic axis: the label goes at
    // their logarithm, and is justified in the picture's own units after that.
    if (typed_x && f.label_log_x && x > 0) x = std::log10(x);
    if (typed_y && f.label_log_y && y > 0) y = std::log10(y);
    // Typed values beyond single precision stay on the page's far side
    // instead of overflowing the conversion.
    x = std::isnan(x) ? 0.0 : std::clamp(x, -1e30, 1e30);
    y = std::isnan(y) ? 0.0 : std::clamp(y, -1e30, 1e30);
    const char device = d.last_device;
    const float fsize = static_cast<float>(size);
    const float fangle = static_cast<float>(std::clamp(*angle, -1e6, 1e6));
    if (justify > 0.0F) {
        float ux = 0.0F, uy = 0.0F;
        plot_unit_size(s, ux, uy);
        const float w = text_width(s, fsize, label) * justify;
        const float th = fangle * 3.14159265F / 180.0F;
        x -= w * std::cos(th);
        y -= w * std::sin(th) * (ux != 0.0F ? uy / ux : 1.0F);
    }
    draw_text(s, device, static_cast<float>(x), static_cast<float>(y), fsize, fangle, label);
    end_plot(s, device);
}

} // namespace tarva
