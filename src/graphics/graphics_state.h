// Graphics state: device, pen memory, window and drawing settings.
#pragma once

namespace tarva {

struct GraphicsState {
    int terminal_type = 0;
    int previous_terminal_type = 0;
};

} // namespace tarva
