#include "io/stop_signal.h"

namespace tarva {

volatile std::sig_atomic_t g_stop_signal = 0;

} // namespace tarva
