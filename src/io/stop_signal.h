// The program's one mutable global: the number of the signal that asked
// the run to end (0 while none did). Only the signal handlers set it; the
// program reads it where it can finish its files and stop (the command
// loop, the keyboard readers), so the handlers need do nothing that is not
// async-signal-safe.
#pragma once

#include <csignal>

namespace tarva {

extern volatile std::sig_atomic_t g_stop_signal;

inline int stop_signal() { return g_stop_signal; }

} // namespace tarva
