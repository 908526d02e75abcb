// Sharing a loop over points between the calling thread and one helper
// thread. The call returns when every piece is done.
#pragma once

#include <string_view>
#include <type_traits>
#include <utility>

namespace tarva {

// Runs body(begin, end) over consecutive pieces of [0, n), shared between
// the caller and the helper thread when `use_helper` is set (the caller does
// every piece the helper has not started, so a late helper delays nothing).
// Small ranges, and every range when the helper is not used, run on the
// caller alone in one call. The pieces must touch disjoint data.
void run_split_raw(int n, bool use_helper, void (*body)(void*, int, int), void* context);

template <class F>
void run_split(int n, bool use_helper, F&& body) {
    auto call = [](void* c, int b, int e) { (*static_cast<std::remove_reference_t<F>*>(c))(b, e); };
    run_split_raw(n, use_helper, call, &body);
}

template <class F>
void run_split(int n, F&& body) {
    run_split(n, true, std::forward<F>(body));
}

// Runs body(0, 1) and body(1, 2), one on the caller and one on the helper
// thread when it is used and ready in time (else both on the caller): two
// halves of some work that the body divides by its arguments.
void run_halves_raw(bool use_helper, void (*body)(void*, int, int), void* context);

template <class F>
void run_halves(bool use_helper, F&& body) {
    auto call = [](void* c, int b, int e) { (*static_cast<std::remove_reference_t<F>*>(c))(b, e); };
    run_halves_raw(use_helper, call, &body);
}

template <class F>
void run_halves(F&& body) {
    run_halves(true, std::forward<F>(body));
}

// Starts the helper thread, or wakes it, so that it is ready when the first
// piece of work comes (a fit calls this before its first pass).
void wake_helper();

// When the helper thread is used: never, only where it pays (the default),
// or always on a machine with two processors (tests compare the ways).
enum class HelperUse { never, when_it_pays, always };
void set_helper_use(HelperUse use);

// Whether a fit of `points` points and `varied` varied parameters should
// share its passes with the helper thread: under the current HelperUse,
// where it pays is helper_pays_on() with the machine's processors and its
// runnable tasks at this moment.
bool helper_pays(int points, int varied);

// The rule: the problem is large enough that the time saved exceeds the
// handing over of the pieces, the machine has two processors or more, and
// one of them is free now: besides the caller (and the helper, when it is
// awake and spinning), fewer tasks are runnable than the other processors.
// `runnable` below 0 means unknown (the helper is then used as before).
bool helper_pays_on(int points, int varied, int cores, int runnable, bool helper_awake);

// The number of runnable tasks from the text of /proc/loadavg (the
// numerator of its fourth field, as in "0.52 0.64 0.31 2/345 1234"), or -1.
int runnable_tasks_from(std::string_view loadavg);

} // namespace tarva
