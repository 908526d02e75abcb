// The program's one mutable global: the number of the signal that asked
// the run to end (0 while none did). Only the signal handlers set it; the
// program reads it where it can finish its files and stop (the command
// loop, the keyboard readers, between the steps of long computations), so the handlers need do nothing that is not
// async-signal-safe.
#pragma once

#include <csignal>

namespace tarva {

extern volatile std::sig_atomic_t g_stop_signal;

inline int stop_signal() { return g_stop_signal; }

// Whether a signal asked the run to end: what long computations (a fit's
// iterations, AGP's map rows) ask between their steps.
inline bool stop_requested() { return g_stop_signal != 0; }

} // namespace tarva
