#include "graphics/drivers/driver.h"

#include "io/output_sink.h"

namespace tarva {

void NullDriver::begin_picture(DriverIo io, float&) {
    if (!message_.empty()) io.out.line(message_);
}

} // namespace tarva
