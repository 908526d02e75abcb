// Fuzz target: every model function, with parameters, counts, options, data
// points and abscissae drawn from the input (NaN, infinities, huge and tiny
// values, zero widths), and the spline coefficients of arbitrary points.
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include "fuzz_target.h"
#include "io/output_sink.h"
#include "models/evaluate.h"
#include "models/spline.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool more() const { return pos_ < size_; }
    // A value that often sits on a guard or a singular point.
    double value() {
        static const double kSpecial[] = {0.0,
                                          1.0,
                                          -1.0,
                                          0.5,
                                          2.0,
                                          5.0,
                                          1e-31,
                                          -1e-21,
                                          1e-10,
                                          46.0,
                                          70.0,
                                          71.0,
                                          20.0,
                                          1e20,
                                          -1e30,
                                          1e300,
                                          -1e300,
                                          6.0,
                                          1.5,
                                          1e-300,
                                          std::numeric_limits<double>::quiet_NaN(),
                                          std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          std::numeric_limits<double>::denorm_min()};
        std::uint8_t k = next();
        if (k < 2 * sizeof kSpecial / sizeof kSpecial[0]) return kSpecial[k % (sizeof kSpecial / sizeof kSpecial[0])];
        if (k < 200) return (static_cast<int>(next()) - 128) / 8.0;
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | next();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::ostringstream sink_text;
    static tarva::OutputSink sink(sink_text);
    static tarva::FitState fit;
    static tarva::DataSet set;
    static tarva::ModelTables tables;
    tarva::ModelInputs m{fit, set, tables};

    Bytes in(data, size);
    fit.function = static_cast<int>(in.next() % 56) - 2;
    fit.nparams = static_cast<int>(in.next() % 70) - 4;
    std::uint8_t flags = in.next();
    fit.exp_argument = flags & 1;
    fit.log_result = (flags >> 1) & 1;
    fit.sqrt_result = (flags >> 2) & 1;

    std::array<double, tarva::kMaxParams> p{};
    int count = in.next() % 12;
    for (int i = 0; i < count; ++i) p[static_cast<std::size_t>(in.next() % tarva::kMaxParams)] = in.value();

    if (flags & 8) {
        set.count = static_cast<int>(in.next()) * 5 - 10; // may be negative or beyond 1024
        for (int i = 0; i < tarva::kMaxPoints; ++i) {
            set.X[static_cast<std::size_t>(i)] = static_cast<float>(i % 37) * 0.5f;
            set.Y[static_cast<std::size_t>(i)] = static_cast<float>(i % 5);
        }
        for (int i = 0; i < 6; ++i) {
            auto at = static_cast<std::size_t>(in.next() % 8);
            set.X[at] = static_cast<float>(in.value() > 0 ? 1.0 : 0.0);
            set.Y[at] = static_cast<float>(in.next()) - 100.0f;
        }
        for (tarva::SplineSlot& slot : tables.slots) slot = tarva::SplineSlot{1, set.count};
        if (flags & 16) tables.slots[in.next() % 10] = tarva::SplineSlot{static_cast<int>(in.next()) - 20, 2000};
        (void)tarva::compute_spline(set, tables, sink);
        sink_text.str("");
    }

    while (in.more()) {
        double xv = in.value();
        float x = std::isfinite(xv) && std::abs(xv) < 3e38 ? static_cast<float>(xv)
                                                           : (std::isnan(xv) ? NAN : (xv > 0 ? INFINITY : -INFINITY));
        (void)tarva::evaluate(m, p, x);
        if (fit.nparams > tarva::kMaxParams &&
            (fit.function == 18 || fit.function == 19 || fit.function == 21 || fit.function == 30))
            __builtin_trap();
    }
    if (fit.function_name().view().size() != 50) __builtin_trap();
    (void)fit.param_name(in.next() % tarva::kMaxParams);
    return 0;
}
