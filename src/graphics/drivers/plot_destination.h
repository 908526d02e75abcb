// The plot destination: the file or terminal device that terminal pictures
// are written to ("/dev/tty" until DEST names another). Every terminal type
// writes through it.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

#include "text/fixed_text.h"

namespace tarva {

class OutputSink;

class PlotDestination {
public:
    // (Re)directs output to `name` ("*" is the terminal; blank keeps the
    // current one). A name that cannot be opened leaves the previous
    // destination in force, continued rather than rewritten.
    void open(OutputSink& out, std::string name);
    bool is_open() const { return file_.is_open(); }
    std::string_view name() const { return name_.trimmed(); }
    void close();
    // Writes the bytes at once (nothing when closed).
    void write(std::string_view bytes);

private:
    FixedText<50> name_{"/dev/tty"};
    std::ofstream file_;
};

} // namespace tarva
