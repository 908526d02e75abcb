// Fuzz target: stroke text with arbitrary bytes, fonts, sizes and angles;
// axis number texts for arbitrary values.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_target.h"
#include "graphics/axes.h"
#include "graphics/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 10) return 0;
    const int font = data[0] % 10;
    float angle = 0.0F, scale = 1.0F;
    std::memcpy(&angle, data + 1, sizeof angle);
    std::memcpy(&scale, data + 5, sizeof scale);
    const std::string text(reinterpret_cast<const char*>(data + 9), size - 9);
    tarva::Strokes out;
    const float w = tarva::layout_text(font, 0.0F, 0.0F, 1.0F, 1.0F, scale, angle, text, &out);
    const float m = tarva::layout_text(font, 0.0F, 0.0F, 1.0F, 1.0F, scale, angle, text, nullptr);
    if (!(w == m) && !(std::isnan(w) && std::isnan(m))) __builtin_trap();
    for (const tarva::PenStep& p : out) {
        if (p.pen != 2 && p.pen != 3) __builtin_trap();
    }
    double v = 0.0;
    std::memcpy(&v, data + 1, sizeof v);
    const int d = static_cast<int>(data[0]) - 128;
    if (tarva::x_number_text(v, scale, d).size() != 10) __builtin_trap();
    if (tarva::y_number_text(v, scale, d).size() != 10) __builtin_trap();
    if (tarva::decade_number_text(v).size() != 10) __builtin_trap();
    (void)tarva::axis_values(v, scale, tarva::axis_step(scale - v, d, data[0] & 1));
    return 0;
}
