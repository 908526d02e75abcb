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
    // Closes the destination; a write or the close that failed on the way
    // (a full disk) is said on `out`.
    void close(OutputSink& out);
    // Writes the bytes at once (nothing when closed). A failed write is
    // remembered: the stream takes nothing more until it is reopened.
    void write(std::string_view bytes);
    // Says on `out` that the destination did not take everything written
    // to it, if so; the terminal driver asks at the end of every picture.
    void report_failure(OutputSink& out) const;

private:
    FixedText<50> name_{"/dev/tty"};
    std::ofstream file_;
};

} // namespace tarva
