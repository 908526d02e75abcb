// The device table: every device code, the driver that draws it and the one
// case rule for codes. Adding a device means one driver class, one member
// of DeviceDrivers and one row of the table in device_table.cpp.
#pragma once

#include <span>
#include <vector>

#include "graphics/drivers/driver.h"
#include "graphics/drivers/hpgl.h"
#include "graphics/drivers/image_terminal.h"
#include "graphics/drivers/picture_file.h"
#include "graphics/drivers/plot_destination.h"
#include "graphics/drivers/postscript.h"
#include "graphics/drivers/tektronix.h"
#include "graphics/graphics_state.h"

namespace tarva {

// The drivers of one run, each with its files, and the plot destination the
// terminal writes to.
struct DeviceDrivers {
    PlotDestination destination;
    TektronixDriver tek{destination};
    PostScriptDriver ps;
    HpglDriver hpgl;
    PictureFileDriver pictures;
    ImageTerminalDriver sixel{destination, ImageProtocol::Sixel};
    ImageTerminalDriver kitty{destination, ImageProtocol::Kitty};
    NullDriver none{"", true};
    NullDriver elsewhere{"Not implemented at Elmton.", false};

    // The terminal's driver for terminal type `type` (0, not chosen yet,
    // is the Tektronix protocol).
    PlotDriver& terminal(int type);
};

struct DeviceRow {
    char code;
    // Draws on the plot destination in the chosen terminal type: a picture
    // first opens the destination and asks for the type if none is chosen.
    bool terminal;
    PlotDriver& (*driver)(DeviceDrivers& d, int terminal_type);
};

// Terminal types of TERMIN: 1..10 the Tektronix protocol and its
// emulations, 11 sixel graphics, 12 the kitty graphics protocol.
inline constexpr int kSixelType = kTektronixTypes + 1;
inline constexpr int kKittyType = kTektronixTypes + 2;
inline constexpr int kTerminalTypes = kKittyType;
// Menu text of terminal type n (1..kTerminalTypes).
std::string_view terminal_type_name(int n);

// The case rule of every device operation: a code is read in upper case and
// a blank is the terminal 'S'.
char device_code(char code);

// The rows in table order. A code not in the table draws on the terminal.
std::span<const DeviceRow> device_table();
// The row of a code (after device_code): its own, or the terminal's when
// the code is not in the table.
const DeviceRow& device_row(char code);

// The driver that draws a picture asked for with `code`; the recorder when
// one is installed.
PlotDriver& driver_for(GraphicsState& g, char code);

// The rows a setting command names: '*' every device once (rows sharing a
// driver listed once, in table order); another code its own row only, none
// when the code is not in the table.
std::vector<const DeviceRow*> rows_named(char code);

} // namespace tarva
