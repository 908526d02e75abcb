// Text settings kept while the program runs.
#pragma once

namespace tarva {

struct FontSettings {
    int default_font = 0; // 0 built-in, 1..8 packed; set by FONT
};

} // namespace tarva
