#include "graphics/text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "graphics/font0.h"
#include "graphics/packed_fonts.h"
#include "text/fixed_text.h"

namespace tarva {

namespace {

constexpr char kEscape = 27;
constexpr float kPackedScale = 6.0F / 21.0F;

class TextLayout {
public:
    TextLayout(int default_font, float x, float y, float gx, float gy, float angle, Strokes* out)
        : default_font_(default_font), font_(default_font), x0_(x), y0_(y), gx_(gx), gy_(gy), out_(out) {
        const float radians = angle * 3.14159265F / 180.0F;
        if (std::fabs(angle) > 1e-10F) {
            rotate_ = true;
            cos_ = std::cos(radians);
            sin_ = std::sin(radians);
        }
    }

    void run(std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c != '^' && c != kEscape) {
                draw_character(static_cast<unsigned char>(c));
                continue;
            }
            if (i + 1 >= text.size()) break; // an introducer at the end is ignored
            const char command = text[++i];
            if (command == '^' || command == kEscape) {
                draw_character(static_cast<unsigned char>(command));
                continue;
            }
            escape(command);
        }
    }

    // Largest pen-down X in world units along the line, 0 when none.
    float width() const { return drawn_ ? max_drawn_f_ * gx_ : 0.0F; }

private:
    void escape(char command) {
        const char cmd = static_cast<char>(std::toupper(static_cast<unsigned char>(command)));
        switch (cmd) {
        case 'U':
            offset_ += 6.0F * v_ - 2.25F * v_;
            v_ *= 0.75F;
            break;
        case 'D':
            offset_ -= 2.25F * v_;
            v_ *= 0.75F;
            break;
        case 'E': box(); break;
        case 'Y':
            u_ -= last_advance_;
            t_ += 9.0F * v_;
            break;
        case 'F':
            u_ -= last_advance_;
            t_ -= 9.0F * v_;
            break;
        case 'G':
            code_offset_ = 129;
            font_ = 0;
            break;
        case 'V':
            code_offset_ = -64;
            font_ = 0;
            break;
        case 'C':
            code_offset_ = 0;
            font_ = default_font_;
            break;
        case 'M':
            u_ = 0.0F;
            t_ -= 4.5F * v_;
            break;
        case 'N':
            u_ = 0.0F;
            t_ -= 9.0F * v_;
            break;
        case 'J':
            u_ = 0.0F;
            t_ += 9.0F * v_;
            break;
        case 'K':
            u_ = 0.0F;
            t_ += 4.5F * v_;
            break;
        case 'B': u_ -= last_advance_; break;
        case 'H': u_ -= 6.0F * v_; break;
        case 'I': v_ /= 0.75F; break;
        case 'S': v_ *= 0.75F; break;
        case 'T': slant_ += 0.3333333F; break;
        case 'Z': bold_ = !bold_; break;
        case 'L': height_ /= 0.75F; break;
        case 'A': width_ /= 0.75F; break;
        default:
            if (cmd >= '0' && cmd <= '9') {
                // A font number selects ordinary characters of that font.
                font_ = cmd - '0';
                code_offset_ = 0;
            } else {
                v_ = 1.0F;
                width_ = 1.0F;
                height_ = 1.0F;
                slant_ = 0.0F;
                offset_ = 0.0F;
                code_offset_ = 0;
                font_ = default_font_;
            }
            break;
        }
    }

    void box() {
        if (!box_open_) {
            box_open_ = true;
            box_size_ = v_;
            box_lo_f_ = box_lo_e_ = std::numeric_limits<float>::max();
            box_hi_f_ = box_hi_e_ = std::numeric_limits<float>::lowest();
            include_in_box(u_, offset_ + t_);
            return;
        }
        box_open_ = false;
        include_in_box(u_, offset_ + t_);
        const float m = 2.0F * box_size_;
        const float f1 = box_lo_f_ - m, f2 = box_hi_f_ + m;
        const float e1 = box_lo_e_ - m, e2 = box_hi_e_ + m;
        emit(f1, e1, 3);
        emit(f2, e1, 2);
        emit(f2, e2, 2);
        emit(f1, e2, 2);
        emit(f1, e1, 2);
    }

    void include_in_box(float f, float e) {
        box_lo_f_ = std::min(box_lo_f_, f);
        box_hi_f_ = std::max(box_hi_f_, f);
        box_lo_e_ = std::min(box_lo_e_, e);
        box_hi_e_ = std::max(box_hi_e_, e);
    }

    void draw_character(int raw) {
        char_max_f_ = std::numeric_limits<float>::lowest();
        first_point_ = true;
        const float start = u_;
        if (font_ == 0) {
            draw_font0(raw + code_offset_);
        } else {
            draw_packed(raw);
        }
        const float advance = char_max_f_ > std::numeric_limits<float>::lowest() ? char_max_f_ - u_ : 0.0F;
        u_ += advance;
        last_advance_ = advance;
        if (box_open_) {
            // The whole character cell belongs to the boxed text.
            include_in_box(start, offset_ + t_);
            include_in_box(u_, offset_ + t_ + 6.0F * v_ * height_);
        }
    }

    void draw_font0(int code) {
        if (code < 1 || code > kFont0Codes) code = ' ';
        const Font0Tables& tab = font0_tables();
        int c = code - 1;
        int s = 0;
        // Bounded walk: continuations could otherwise chain without end.
        for (int guard = 0; guard < 4 * kFont0Strokes; ++guard) {
            const int pen = tab.pen[s][c];
            if (pen == 4) break;
            if (pen == -1) {
                const int next = static_cast<int>(tab.x[s][c]);
                if (next < 1 || next > kFont0Codes) break;
                c = next - 1;
                s = 0;
                continue;
            }
            point(tab.x[s][c], tab.y[s][c], pen == 2 ? 2 : 3);
            if (++s >= kFont0Strokes) break;
        }
    }

    void draw_packed(int code) {
        const int entry = (font_ >= 8 ? 0 : 96 * font_) + code;
        // Only printable codes have entries of their own in a packed font.
        const int start = (code >= 32 && code <= 127 && entry < kPackedIndexSize) ? kPackedIndex[entry] : 0;
        if (start < 1 || start > kPackedWordCount) {
            draw_font0(' ');
            return;
        }
        const std::uint16_t first = kPackedWords[start - 1];
        if (first == kPackedEnd) {
            packed_point(4, 7, 3);
            return;
        }
        bool pen_up = true;
        for (int i = start; i < kPackedWordCount; ++i) {
            const std::uint16_t w = kPackedWords[i];
            if (w == kPackedEnd) break;
            if (w == kPackedPenUp) {
                pen_up = true;
                continue;
            }
            packed_point(w & 63, (w >> 6) & 63, pen_up ? 3 : 2);
            pen_up = false;
        }
        packed_point(first & 63, (first >> 6) & 63, 3);
    }

    void packed_point(int px, int py, int pen) {
        point(static_cast<float>(px) * kPackedScale, static_cast<float>(py - 7) * kPackedScale, pen);
    }

    // A glyph point (F, G) of the current character.
    void point(float F, float G, int pen) {
        if (first_point_) pen = 3;
        first_point_ = false;
        const float f = F * v_ * width_ + u_ + v_ * slant_ * G * height_;
        const float e = height_ * v_ * G + offset_ + t_;
        char_max_f_ = std::max(char_max_f_, f);
        if (pen == 2) {
            if (!drawn_ || f > max_drawn_f_) max_drawn_f_ = f;
            drawn_ = true;
            if (box_open_) include_in_box(f, e);
            emit(f, e, 2);
            if (bold_) {
                emit(last_f_, last_e_, 2);
                emit(f, e, 2);
            }
        } else {
            emit(f, e, 3);
        }
        last_f_ = f;
        last_e_ = e;
    }

    void emit(float f, float e, int pen) {
        if (out_ == nullptr) return;
        float dx = f, dy = e;
        if (rotate_) {
            dx = f * cos_ - e * sin_;
            dy = f * sin_ + e * cos_;
        }
        out_->push_back({x0_ + dx * gx_, y0_ + dy * gy_, pen});
    }

    int default_font_;
    int font_;
    float x0_, y0_, gx_, gy_;
    Strokes* out_;
    bool rotate_ = false;
    float cos_ = 1.0F, sin_ = 0.0F;

    float v_ = 1.0F, width_ = 1.0F, height_ = 1.0F, slant_ = 0.0F, offset_ = 0.0F;
    float u_ = 0.0F, t_ = 0.0F;
    int code_offset_ = 0;
    bool bold_ = false;
    float last_advance_ = 0.0F;

    bool first_point_ = true;
    float char_max_f_ = 0.0F;
    float last_f_ = 0.0F, last_e_ = 0.0F;
    bool drawn_ = false;
    float max_drawn_f_ = 0.0F;

    bool box_open_ = false;
    float box_size_ = 1.0F;
    float box_lo_f_ = 0.0F, box_hi_f_ = 0.0F, box_lo_e_ = 0.0F, box_hi_e_ = 0.0F;
};

} // namespace

float layout_text(int default_font, float x, float y, float unit_x, float unit_y, float size, float angle,
                  std::string_view text, Strokes* out) {
    if (size == 0.0F || last_nonblank(text) == 0) return 0.0F;
    if (!std::isfinite(size) || !std::isfinite(angle) || !std::isfinite(unit_x) || !std::isfinite(unit_y)) return 0.0F;
    if (default_font < 0 || default_font > 9) default_font = 0;
    TextLayout layout(default_font, x, y, unit_x * size / 5.0F, unit_y * size / 5.0F, angle, out);
    layout.run(text);
    return layout.width();
}

} // namespace tarva
