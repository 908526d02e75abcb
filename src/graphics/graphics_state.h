// Graphics state: pen memory, plot window, drawing settings the device layer
// applies, the terminal type, and the plot drivers with their files (held
// behind a pointer, so that this header needs no driver header; the table
// of devices is graphics/drivers/device_table.h).
#pragma once

#include <memory>

namespace tarva {

class PlotDriver;
struct DeviceDrivers;

inline constexpr float kSqrt2 = 1.4142135f;

struct GraphicsState {
    GraphicsState();
    ~GraphicsState();
    GraphicsState(const GraphicsState&) = delete;
    GraphicsState& operator=(const GraphicsState&) = delete;

    // Terminal type 1..10 (0 = not chosen yet) and the one chosen before it.
    int terminal_type = 0;
    int previous_terminal_type = 0;

    // Pen memory: last position (world units) and pen code (0 = none yet).
    float pen_x = 0.0f, pen_y = 0.0f;
    int pen_code = 0;

    // THICK: extra line pairs (0..10) and their spacing in plot units.
    int thick_count = 0;
    float thick_offset = 0.0f;

    // Plot window of the current picture.
    float xmin = 0.0f, xmax = 1.0f, ymin = 0.0f, ymax = 1.0f;
    float xspan = 1.0f, yspan = 1.0f;
    float left_margin = -0.05f; // xmin - 0.05*xspan, where captions start

    // Settings DRAW changes and the layer applies.
    float aspect = kSqrt2;      // width over height of the plot box
    float char_size = 1.0f;     // DRAW/I; also widens the terminal margins
    int line_style = 0;         // 0..6, DRAW/L while data line and curve are drawn
    bool clear_flag = true;     // DRAW CF: clear the screen / new plot file per picture
    bool colour_enabled = true; // COLOUR/E, COLOUR/D: the cairo pictures in colour

    // DEFINE/S and DRAW/B: scale and offsets (terminal addresses) of
    // terminal pictures, for every terminal type.
    float terminal_scale = 1.0f;
    float terminal_offx = 0.0f, terminal_offy = 0.0f;

    // The drivers of every device and the plot destination.
    DeviceDrivers& drivers() { return *drivers_; }
    const DeviceDrivers& drivers() const { return *drivers_; }

    // When set, every picture of every device goes to this driver instead
    // (tests install a RecordingDriver here).
    PlotDriver* recorder = nullptr;

private:
    std::unique_ptr<DeviceDrivers> drivers_;
};

} // namespace tarva
