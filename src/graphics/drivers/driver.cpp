#include "graphics/drivers/driver.h"

#include <string>

#include "io/output_sink.h"

namespace tarva {

void report_incomplete_plot(OutputSink& out, std::string_view name) {
    out.line("Unable to write " + std::string(name) + " completely... plot file incomplete.");
}

void NullDriver::begin_picture(DriverIo io, float&) {
    if (!message_.empty()) io.out.line(message_);
}

} // namespace tarva
