// Fuzz target: the least-squares engine on arbitrary data, parameters,
// masks and fit modes (NaN, infinities, huge and tiny values included),
// through the session's model, so the catalogue functions and the fast
// kernel of function 18 are both exercised. Nothing may crash or hang.
#include <cmath>
#include <cstring>
#include <sstream>

#include "commands/fit/session_model.h"
#include "fitting/engine.h"
#include "fuzz_target.h"
#include "session/session.h"

namespace {

// Reads values from the input, cycling through it; a float from four bytes
// gives every bit pattern (NaN, infinities, subnormals) a chance.
struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t byte() { return size == 0 ? 0 : data[at++ % size]; }
    float real() {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits = bits << 8 | byte();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        // Mostly ordinary magnitudes, sometimes the raw pattern.
        if ((bits & 7u) != 0) f = static_cast<float>(static_cast<int>(bits % 2001u) - 1000) / 37.0f;
        return f;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::istringstream in;
    static std::ostringstream out;
    static tarva::Session s(in, out);
    Reader r{data, size};
    const int n = r.byte() % 24;
    for (int i = 0; i < n; ++i) {
        s.data.X[i] = static_cast<float>(i) + (r.byte() % 4 == 0 ? r.real() : 0.0f);
        s.data.Y[i] = r.real();
        s.data.SIGMA[i] = r.byte() % 3 == 0 ? 0.0f : r.real();
    }
    s.data.count = n;
    const int functions[] = {18, 18, 18, 2, 14, 16, 20, 21, 28, 34, 7, 5};
    s.fit.function = functions[r.byte() % 12];
    s.fit.nparams = r.byte() % 21;
    for (int k = 0; k < tarva::kMaxParams; ++k) {
        s.fit.value[k] = r.real();
        s.fit.mask[k] = r.byte() % 3 == 0 ? 0 : 1;
    }
    const int modes[] = {1, 2, 3, 4, 0, -1, 13, 11, 7};
    s.fit.mode = modes[r.byte() % 9];
    s.fit.log_result = r.byte() % 5 == 0;
    s.fit.sqrt_result = r.byte() % 5 == 0;

    tarva::SessionModel model(s);
    tarva::EngineInputs ins = model.engine_inputs();
    (void)tarva::chi_square(s.engine(), s.out(), ins);
    std::array<double, tarva::kMaxParams> errors{};
    int iterations = 0, max = 1 + r.byte() % 4;
    tarva::fit(s.engine(), s.out(), ins, s.fit.value, errors, iterations, max);
    if (iterations < 1 || iterations > max) __builtin_trap();
    tarva::correlation_matrix(s.engine(), s.out(), model.engine_inputs());
    (void)tarva::chi_square_sum(s.data.X, s.data.Y, s.data.SIGMA, n, model.ref(), s.fit.value);
    out.str("");
    return 0;
}
