// Sharing a loop over points between the calling thread and one helper
// thread. The call returns when every piece is done.
#pragma once

#include <type_traits>
#include <utility>

namespace tarva {

// Runs body(begin, end) over consecutive pieces of [0, n), shared between
// the caller and the helper thread (the caller does every piece the helper
// has not started, so a late helper delays nothing). Small ranges run on the
// caller alone in one call. The pieces must touch disjoint data.
void run_split_raw(int n, void (*body)(void*, int, int), void* context);

template <class F>
void run_split(int n, F&& body) {
    auto call = [](void* c, int b, int e) { (*static_cast<std::remove_reference_t<F>*>(c))(b, e); };
    run_split_raw(n, call, &body);
}

// Runs body(0, 1) and body(1, 2), one on the caller and one on the helper
// thread when it is ready in time (else both on the caller): two halves of
// some work that the body divides by its arguments.
void run_halves_raw(void (*body)(void*, int, int), void* context);

template <class F>
void run_halves(F&& body) {
    auto call = [](void* c, int b, int e) { (*static_cast<std::remove_reference_t<F>*>(c))(b, e); };
    run_halves_raw(call, &body);
}

// Starts the helper thread, or wakes it, so that it is ready when the first
// piece of work comes (a fit calls this before its first pass).
void wake_helper();

// Whether the helper thread is used (false: everything runs on the caller).
// Tests switch it to compare both ways.
void set_parallel(bool enabled);

} // namespace tarva
