// Splitting a loop over points between the calling thread and one helper
// thread. The two halves must touch disjoint data; the call returns when
// both are done.
#pragma once

#include <type_traits>
#include <utility>

namespace tarva {

// Runs body(begin, end) over [0, n): the upper part on the helper thread,
// the lower part on the caller. Small ranges run on the caller alone.
void run_split_raw(int n, void (*body)(void*, int, int), void* context);

template <class F>
void run_split(int n, F&& body) {
    auto call = [](void* c, int b, int e) { (*static_cast<std::remove_reference_t<F>*>(c))(b, e); };
    run_split_raw(n, call, &body);
}

// Runs body(0, 1) on the caller and body(1, 2) on the helper thread (both
// on the caller, one after the other, when the helper is switched off):
// two halves of some work that the body divides by its arguments.
void run_halves_raw(void (*body)(void*, int, int), void* context);

template <class F>
void run_halves(F&& body) {
    auto call = [](void* c, int b, int e) { (*static_cast<std::remove_reference_t<F>*>(c))(b, e); };
    run_halves_raw(call, &body);
}

// Whether the helper thread is used (false: everything runs on the caller).
// Tests switch it to compare both ways.
void set_parallel(bool enabled);

} // namespace tarva
