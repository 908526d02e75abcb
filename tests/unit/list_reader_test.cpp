// Record and free-format reading of text data files.
#include "files/list_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include "text/format.h"

namespace tarva {
namespace {

TEST(RecordReader, LinesEndsAndRewind) {
    std::istringstream in("first\r\nsecond\n\nlast without end");
    RecordReader r(in);
    std::string rec;
    ASSERT_EQ(r.next(rec), ReadStatus::Ok);
    EXPECT_EQ(rec, "first");
    ASSERT_EQ(r.next(rec), ReadStatus::Ok);
    EXPECT_EQ(rec, "second");
    ASSERT_EQ(r.next(rec), ReadStatus::Ok);
    EXPECT_EQ(rec, "");
    ASSERT_EQ(r.next(rec), ReadStatus::Ok);
    EXPECT_EQ(rec, "last without end");
    EXPECT_EQ(r.records(), 4);
    EXPECT_EQ(r.next(rec), ReadStatus::End);
    EXPECT_EQ(r.next(rec), ReadStatus::End);
    r.rewind();
    ASSERT_EQ(r.next(rec), ReadStatus::Ok);
    EXPECT_EQ(rec, "first");
}

TEST(RecordReader, OverlongLineIsCutNotHeld) {
    std::string huge(kMaxDataRecord * 3, 'x');
    std::istringstream in(huge + "\nnext\n");
    RecordReader r(in);
    std::string rec;
    ASSERT_EQ(r.next(rec), ReadStatus::Ok);
    EXPECT_EQ(rec.size(), kMaxDataRecord);
    ASSERT_EQ(r.next(rec), ReadStatus::Ok);
    EXPECT_EQ(rec, "next");
}

TEST(ListRead, SpansRecordsAndDropsTheRestOfTheLastOne) {
    std::istringstream in(" 1.5 2\n\n  3e2, 4D-1 99 98\n7\n");
    RecordReader r(in);
    std::array<double, 4> v{};
    ASSERT_EQ(read_reals(r, v), ReadStatus::Ok);
    EXPECT_EQ(v[0], 1.5);
    EXPECT_EQ(v[1], 2.0);
    EXPECT_EQ(v[2], 300.0);
    EXPECT_EQ(v[3], 0.4);
    std::array<double, 1> w{};
    ASSERT_EQ(read_reals(r, w), ReadStatus::Ok);
    EXPECT_EQ(w[0], 7.0); // 99 and 98 were dropped with their record
    EXPECT_EQ(read_reals(r, w), ReadStatus::End);
}

TEST(ListRead, EmptyItemsRepeatsAndSlash) {
    std::istringstream in("1,,3\n,5\n2*7 2* 9\n4 /\n");
    RecordReader r(in);
    std::array<double, 3> a{-1, -1, -1};
    ASSERT_EQ(read_reals(r, a), ReadStatus::Ok);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[1], -1); // kept
    EXPECT_EQ(a[2], 3);
    std::array<double, 2> b{-1, -1};
    ASSERT_EQ(read_reals(r, b), ReadStatus::Ok);
    EXPECT_EQ(b[0], -1); // a leading comma is an empty item
    EXPECT_EQ(b[1], 5);
    std::array<double, 5> c{-1, -1, -1, -1, -1};
    ASSERT_EQ(read_reals(r, c), ReadStatus::Ok);
    EXPECT_EQ(c[0], 7);
    EXPECT_EQ(c[1], 7);
    EXPECT_EQ(c[2], -1);
    EXPECT_EQ(c[3], -1);
    EXPECT_EQ(c[4], 9);
    std::array<double, 3> d{-1, -1, -1};
    ASSERT_EQ(read_reals(r, d), ReadStatus::Ok);
    EXPECT_EQ(d[0], 4);
    EXPECT_EQ(d[1], -1);
}

TEST(ListRead, AReadOfNothingStillPassesOneRecord) {
    std::istringstream in("ignored 1 2\n5\n");
    RecordReader r(in);
    ASSERT_EQ(read_reals(r, std::span<double>()), ReadStatus::Ok);
    std::array<double, 1> v{};
    ASSERT_EQ(read_reals(r, v), ReadStatus::Ok);
    EXPECT_EQ(v[0], 5);
}

TEST(ListRead, BadItemsAreErrorsAndTheirRecordIsDropped) {
    std::istringstream in("1 x 3\n4\nNaN\nInfinity\n1e999\n-inf\n.\n1e39\n8\n");
    RecordReader r(in);
    std::array<double, 3> a{};
    EXPECT_EQ(read_reals(r, a), ReadStatus::Error);
    std::array<double, 1> b{};
    ASSERT_EQ(read_reals(r, b), ReadStatus::Ok);
    EXPECT_EQ(b[0], 4);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(read_reals(r, b), ReadStatus::Error) << i;
    // 1e39 is a double but no single-precision value.
    std::array<float, 1> f{2.5f};
    EXPECT_EQ(read_floats(r, f), ReadStatus::Error);
    EXPECT_EQ(f[0], 2.5f);
    ASSERT_EQ(read_floats(r, f), ReadStatus::Ok);
    EXPECT_EQ(f[0], 8.0f);
}

TEST(ListRead, EndInsideAListAndFloatsKeepTheirValues) {
    std::istringstream in("1 2\n");
    RecordReader r(in);
    std::array<float, 3> p{9, 9, 9};
    EXPECT_EQ(read_floats(r, p), ReadStatus::End);
    EXPECT_EQ(p[0], 9.0f);
    EXPECT_EQ(p[2], 9.0f);
}

TEST(ListRead, IntegersAreStrict) {
    std::istringstream in("18 3\n2.0\n2147483648\n-2147483648 +7\n");
    RecordReader r(in);
    std::array<long long, 2> v{};
    ASSERT_EQ(read_integers(r, v), ReadStatus::Ok);
    EXPECT_EQ(v[0], 18);
    EXPECT_EQ(v[1], 3);
    std::array<long long, 1> w{};
    EXPECT_EQ(read_integers(r, w), ReadStatus::Error);
    EXPECT_EQ(read_integers(r, w), ReadStatus::Error);
    ASSERT_EQ(read_integers(r, v), ReadStatus::Ok);
    EXPECT_EQ(v[0], -2147483648LL);
    EXPECT_EQ(v[1], 7);
}

TEST(ListRead, ItemsCanBeSkippedWithoutBeingHeld) {
    std::istringstream in("1 2 3 4 5\n6 7\n");
    RecordReader r(in);
    float first = 0, last = 0;
    int seen = 0;
    ASSERT_EQ(read_float_items(r, 7,
                               [&](std::size_t i, float v) {
                                   ++seen;
                                   if (i == 0) first = v;
                                   if (i == 6) last = v;
                               }),
              ReadStatus::Ok);
    EXPECT_EQ(seen, 7);
    EXPECT_EQ(first, 1.0f);
    EXPECT_EQ(last, 7.0f);
}

TEST(ExactFreeFormat, EveryDoubleReadsBackIdentically) {
    std::mt19937_64 rng(7);
    std::vector<double> values = {0.1,  1.0 / 3.0, -2.5e-300, 1e300, 123456789.123, 5e-324, 1.7976931348623157e308,
                                  -0.0, 100.0,     1e9,       1e-5};
    std::uniform_int_distribution<std::uint64_t> bits;
    while (values.size() < 3000) {
        std::uint64_t b = bits(rng);
        double d;
        std::memcpy(&d, &b, sizeof d);
        if (std::isfinite(d)) values.push_back(d);
    }
    std::string line;
    for (double v : values) line += free_real_exact(v) + (line.size() % 7 == 0 ? "\n" : "");
    std::istringstream in(line + "\n");
    RecordReader r(in);
    std::vector<double> back(values.size(), 42.0);
    ASSERT_EQ(read_reals(r, back), ReadStatus::Ok);
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(std::memcmp(&back[i], &values[i], sizeof(double)) == 0 || (values[i] == 0 && back[i] == 0), true)
            << free_real_exact(values[i]);
}

TEST(ExactFreeFormat, LayoutFollowsFreeFormat) {
    // Same shape as the 9-digit free format, only with the digits needed.
    EXPECT_EQ(free_real_exact(1.5), free_real(1.5));
    EXPECT_EQ(free_real_exact(100.0), "  100.");
    EXPECT_EQ(free_real_exact(0.0), "  0.");
    EXPECT_EQ(free_real_exact(-2.25e-5), " -2.25E-05");
    EXPECT_EQ(free_real_exact(0.1), "  0.1");
    EXPECT_EQ(free_real_exact(1.0 / 3.0), "  0.3333333333333333");
    EXPECT_EQ(free_real_exact(1e300), "  1.E+300");
    EXPECT_EQ(free_real_exact(123456789.125), "  123456789.125");
}

} // namespace
} // namespace tarva
