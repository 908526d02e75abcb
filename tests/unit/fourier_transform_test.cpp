// The fast cosine transform against the direct sums, and FT as the user
// meets it: padding dialogue, new abscissae and labels.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "dataset/fourier_transform.h"
#include "session/session.h"

namespace tarva {
namespace {

const double kPi = std::acos(-1.0);

std::vector<double> direct_cosine_sums(const std::vector<float>& y) {
    const std::size_t n = y.size();
    std::vector<double> f(n, 0.0);
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t j = 0; j < n; ++j)
            f[k] += static_cast<double>(y[j]) * std::cos(kPi * static_cast<double>(j * k) / static_cast<double>(n));
    return f;
}

TEST(CosineTransform, AgreesWithTheDirectSumsForEveryLength) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (std::size_t n = 2; n <= 1024; n *= 2) {
        std::vector<float> y(n);
        for (float& v : y) v = value(gen);
        const std::vector<double> want = direct_cosine_sums(y);
        std::vector<float> got = y;
        cosine_transform(got);
        // Single-precision values: the error grows with the size of the sums.
        const double tolerance = 2e-6 * static_cast<double>(n);
        for (std::size_t k = 0; k < n; ++k) EXPECT_NEAR(got[k], want[k], tolerance) << "N=" << n << " k=" << k;
    }
}

TEST(CosineTransform, KnownSignals) {
    // Equal ordinates: N at k = 0, then 1 for odd k and 0 for even k.
    std::vector<float> ones(8, 1.0f);
    cosine_transform(ones);
    const std::vector<float> expected_ones{8, 1, 0, 1, 0, 1, 0, 1};
    for (std::size_t k = 0; k < 8; ++k) EXPECT_NEAR(ones[k], expected_ones[k], 1e-5) << k;

    // A spike at j = 0 gives 1 everywhere; at j = 1 it gives cos(pi k / N).
    std::vector<float> spike0(16, 0.0f), spike1(16, 0.0f);
    spike0[0] = 1.0f;
    spike1[1] = 1.0f;
    cosine_transform(spike0);
    cosine_transform(spike1);
    for (std::size_t k = 0; k < 16; ++k) {
        EXPECT_NEAR(spike0[k], 1.0, 1e-6) << k;
        EXPECT_NEAR(spike1[k], std::cos(kPi * static_cast<double>(k) / 16.0), 1e-6) << k;
    }

    // Two points: y0 + y1, and y0 alone (cos(pi/2) = 0).
    std::vector<float> two{3.0f, 5.0f};
    cosine_transform(two);
    EXPECT_FLOAT_EQ(two[0], 8.0f);
    EXPECT_NEAR(two[1], 3.0f, 1e-6);
}

TEST(CosineTransform, PaddedLengthIsTheNextPowerOfTwo) {
    EXPECT_EQ(padded_length(2), 2);
    EXPECT_EQ(padded_length(3), 4);
    EXPECT_EQ(padded_length(5), 8);
    EXPECT_EQ(padded_length(64), 64);
    EXPECT_EQ(padded_length(65), 128);
    EXPECT_EQ(padded_length(1000), 1024);
    EXPECT_EQ(padded_length(1024), 1024);
}

struct FtCommand : testing_support::CommandFixture {
    // n points at X = x0 + i*dx with Y = i + 1 and SIGMA = 0.5.
    void fill(int n, float x0, float dx) {
        s.data.count = n;
        for (int i = 0; i < n; ++i) {
            const auto k = static_cast<std::size_t>(i);
            s.data.X[k] = x0 + static_cast<float>(i) * dx;
            s.data.Y[k] = static_cast<float>(i + 1);
            s.data.SIGMA[k] = 0.5f;
        }
    }
};

TEST_F(FtCommand, RefusesTooFewPointsAndZeroSpacing) {
    fill(1, 0.0f, 1.0f);
    EXPECT_EQ(run("FT"), " Only one data point!\n\n");
    EXPECT_EQ(s.data.count, 1);
    fill(4, 2.0f, 0.0f);
    EXPECT_EQ(run("FT"), " Interval too small, are the X points in order?\n\n");
    EXPECT_EQ(s.data.Y[0], 1.0f);
}

TEST_F(FtCommand, DecliningThePaddingLeavesTheData) {
    fill(1000, 0.0f, 1.0f);
    EXPECT_EQ(run("FT", "n\n"),
              " The data set must have 2**N data points,\n Currently there are 1000, pad to 1024 ? > ");
    EXPECT_EQ(s.data.count, 1000);
    EXPECT_EQ(s.data.Y[999], 1000.0f);
    EXPECT_EQ(s.data.x_label.trimmed(), "X");
}

TEST_F(FtCommand, PadOnlyExtendsTheSpacingWithZeros) {
    fill(1000, 10.0f, 0.5f);
    s.data.SIGMA[1000] = 9.0f; // stale value beyond the count
    EXPECT_EQ(run("FT/N", "\n"),
              " The data set must have 2**N data points,\n Currently there are 1000, pad to 1024 ? > "
              " Data padded to 1024 data points only.\n\n");
    EXPECT_EQ(s.data.count, 1024);
    EXPECT_EQ(s.data.Y[999], 1000.0f); // not transformed
    EXPECT_FLOAT_EQ(s.data.X[1000], 10.0f + 999.0f * 0.5f + 0.5f);
    EXPECT_FLOAT_EQ(s.data.X[1023], 10.0f + 999.0f * 0.5f + 24.0f * 0.5f);
    EXPECT_EQ(s.data.Y[1000], 0.0f);
    EXPECT_EQ(s.data.SIGMA[1000], 0.0f);
    EXPECT_EQ(s.data.x_label.trimmed(), "X");

    // Already a power of two: nothing asked, nothing transformed.
    EXPECT_EQ(run("FT/N"), " Data padded to 1024 data points only.\n\n");
    EXPECT_EQ(s.data.Y[999], 1000.0f);
}

TEST_F(FtCommand, PowerOfTwoIsTransformedAtOnce) {
    fill(64, 5.0f, 0.25f);
    s.data.x_label = "Time (s)";
    s.data.y_label = "Amplitude";
    std::vector<float> before(s.data.Y.begin(), s.data.Y.begin() + 64);
    EXPECT_EQ(run("FT"), " Fourier transform taken of data.\n\n");
    EXPECT_EQ(s.data.count, 64);
    const std::vector<double> want = direct_cosine_sums(before);
    for (std::size_t k = 0; k < 64; ++k) {
        EXPECT_NEAR(s.data.Y[k], want[k], 1e-3) << k;
        EXPECT_FLOAT_EQ(s.data.X[k], static_cast<float>(k) / (128.0f * 0.25f)) << k;
        EXPECT_EQ(s.data.SIGMA[k], 0.5f);
    }
    EXPECT_EQ(s.data.x_label.trimmed(), "1/(Time (s))");
    EXPECT_EQ(s.data.y_label.trimmed(), "FT(Amplitude)");
}

TEST_F(FtCommand, PaddedDataAreTransformedWithTheZeros) {
    fill(6, 0.0f, 1.0f);
    s.data.x_label = "";
    EXPECT_EQ(run("FT", "y\n"), " The data set must have 2**N data points,\n Currently there are    6, pad to    8 ? > "
                                " Fourier transform taken of data.\n\n");
    EXPECT_EQ(s.data.count, 8);
    EXPECT_FLOAT_EQ(s.data.Y[0], 21.0f); // 1 + 2 + ... + 6 and two zeros
    EXPECT_FLOAT_EQ(s.data.X[1], 1.0f / 16.0f);
    EXPECT_EQ(s.data.x_label.trimmed(), "1/( )");
    // The new label is cut to the 100 columns of the field.
    s.data.y_label = std::string(100, 'Y');
    fill(8, 0.0f, 1.0f);
    run("FT");
    EXPECT_EQ(s.data.y_label.view(), "FT(" + std::string(97, 'Y'));
}

} // namespace
} // namespace tarva
