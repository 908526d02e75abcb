// Text settings kept while the program runs.
#pragma once

namespace tarva {

struct FontSettings {
    int default_font = 0; // 0 built-in, 1..8 packed; set by FONT

    // LABEL: size factor used when no size is typed, and whether the typed
    // label coordinates are taken as logarithms.
    float label_size = 1.0F;
    bool label_log_x = false;
    bool label_log_y = false;
};

} // namespace tarva
