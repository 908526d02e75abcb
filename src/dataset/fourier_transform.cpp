#include "dataset/fourier_transform.h"

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace tarva {

namespace {

constexpr double kPi = 3.14159265358979323846;

// cos and sin of multiples of an angle by the stable recurrence
// w <- w + w * (exp(i*theta) - 1), started at the angle 0.
struct Rotation {
    explicit Rotation(double theta) : wpr(-2.0 * std::pow(std::sin(0.5 * theta), 2)), wpi(std::sin(theta)) {}
    void advance() {
        const double old = wr;
        wr = wr * wpr - wi * wpi + wr;
        wi = wi * wpr + old * wpi + wi;
    }
    double wpr, wpi;
    double wr = 1.0, wi = 0.0;
};

// Complex FFT of nn points held as (re, im) pairs, kernel exp(+2 pi i j k / nn):
// bit-reversal reordering, then radix-2 butterflies.
void complex_fft(std::vector<float>& data, std::size_t nn) {
    const std::size_t n = 2 * nn;
    std::size_t j = 0;
    for (std::size_t i = 0; i < n; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        std::size_t m = nn;
        while (m >= 2 && j >= m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
    for (std::size_t mmax = 2; n > mmax; mmax *= 2) {
        const std::size_t istep = 2 * mmax;
        Rotation w(2.0 * kPi / static_cast<double>(mmax));
        for (std::size_t m = 0; m < mmax; m += 2) {
            const auto wr = static_cast<float>(w.wr), wi = static_cast<float>(w.wi);
            for (std::size_t i = m; i < n; i += istep) {
                const std::size_t k = i + mmax;
                const float tempr = wr * data[k] - wi * data[k + 1];
                const float tempi = wr * data[k + 1] + wi * data[k];
                data[k] = data[i] - tempr;
                data[k + 1] = data[i + 1] - tempi;
                data[i] += tempr;
                data[i + 1] += tempi;
            }
            w.advance();
        }
    }
}

// FFT of the n real values of data[0 .. n-1] (n even, at least 2), leaving
// F(0) in data[0], F(n/2) in data[1] and then the real and imaginary parts
// of F(1) .. F(n/2 - 1).
void real_fft(std::vector<float>& data, std::size_t n) {
    const std::size_t half = n / 2;
    complex_fft(data, half);
    Rotation w(kPi / static_cast<double>(half));
    w.advance();
    for (std::size_t i = 1; i <= half / 2; ++i) {
        const std::size_t i1 = 2 * i, i2 = i1 + 1, i3 = 2 * (half - i), i4 = i3 + 1;
        const auto wr = static_cast<float>(w.wr), wi = static_cast<float>(w.wi);
        const float h1r = 0.5f * (data[i1] + data[i3]);
        const float h1i = 0.5f * (data[i2] - data[i4]);
        const float h2r = 0.5f * (data[i2] + data[i4]);
        const float h2i = -0.5f * (data[i1] - data[i3]);
        data[i1] = h1r + wr * h2r - wi * h2i;
        data[i2] = h1i + wr * h2i + wi * h2r;
        data[i3] = h1r - wr * h2r + wi * h2i;
        data[i4] = -h1i + wr * h2i + wi * h2r;
        w.advance();
    }
    const float first = data[0];
    data[0] = first + data[1];
    data[1] = first - data[1];
}

} // namespace

int padded_length(int n) {
    const double bits = std::log(static_cast<double>(n)) / std::log(2.0) - 0.0001;
    return 1 << (static_cast<int>(bits) + 1);
}

void cosine_transform(std::span<float> y) {
    const std::size_t n = y.size();
    if (n < 2) return;
    // Two spare places beyond the N values, as the half-length FFT expects.
    std::vector<float> work(y.begin(), y.end());
    work.resize(n + 2, 0.0f);

    // Fold the sequence so that a real FFT of it yields the cosine sums; the
    // odd-numbered sums are rebuilt afterwards from the running sum s.
    Rotation w(kPi / static_cast<double>(n));
    float s = work[0];
    for (std::size_t j = 1; j <= n / 2; ++j) {
        w.advance();
        const float h = 0.5f * (work[j] + work[n - j]);
        const float g = work[j] - work[n - j];
        work[j] = static_cast<float>(h - g * w.wi);
        work[n - j] = static_cast<float>(h + g * w.wi);
        s = static_cast<float>(s + g * w.wr);
    }
    real_fft(work, n);
    work[1] = s;
    for (std::size_t j = 3; j < n; j += 2) {
        s += work[j];
        work[j] = s;
    }
    for (std::size_t k = 0; k < n; ++k) y[k] = work[k];
}

} // namespace tarva
