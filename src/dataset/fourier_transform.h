// The fast cosine transform FT applies to the ordinates of the data set.
#pragma once

#include <span>

namespace tarva {

// The length FT pads a data set of n points to (n >= 1): the smallest power
// of two not below n, computed as 2**(int(log2(n) - 0.0001) + 1).
int padded_length(int n);

// In place, for N = y.size() a power of two (at least 2):
//   y(k) <- sum over j = 0 .. N-1 of y(j) * cos(pi * j * k / N),  k = 0 .. N-1.
// Fast form through a real FFT of half length, in O(N log N): the values
// stay single precision, the trigonometric recurrences run in double.
void cosine_transform(std::span<float> y);

} // namespace tarva
