// Fuzz target: the spectrum readers on arbitrary bytes. The first byte picks
// the reader and the reading options; binary spectra get a valid frame
// around the fuzz bytes (tiled to the record size) half of the time, so the
// loader meets garbage counts, captions and parameters (NaN, Inf, zero).
// A binary record written again must read back bit for bit.
#include <cstring>
#include <sstream>
#include <string>

#include "data_fuzz_tokens.h"
#include "dataset/mca/mca_layout.h"
#include "dataset/mca/mca_load.h"
#include "fuzz_target.h"
#include "io/output_sink.h"

namespace {

std::string framed_tiles(const std::uint8_t* data, std::size_t size, std::size_t payload) {
    std::string b(payload + 8, '\0');
    for (std::size_t i = 0; i < payload; ++i) b[4 + i] = size ? static_cast<char>(data[i % size]) : '\0';
    for (int k = 0; k < 4; ++k) {
        b[static_cast<std::size_t>(k)] = static_cast<char>(payload >> (8 * k));
        b[4 + payload + static_cast<std::size_t>(k)] = static_cast<char>(payload >> (8 * k));
    }
    return b;
}

bool same_record(const tarva::SpectrumRecord& a, const tarva::SpectrumRecord& b) {
    return a.counts == b.counts && a.type == b.type && a.caption == b.caption.view() &&
           std::memcmp(a.parameters.data(), b.parameters.data(), sizeof a.parameters) == 0;
}

void check(const tarva::DataSet& d) {
    if (d.count < 0 || d.count > tarva::kMaxPoints) __builtin_trap();
    if (d.log_y != d.log_scale_y || d.log_x != d.log_scale_x) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned pick = data[0];
    ++data;
    --size;
    const std::string raw(reinterpret_cast<const char*>(data), size);
    std::ostringstream text;
    tarva::OutputSink out(text);
    tarva::DataSet d;
    d.spectrum_options.normalise = pick & 8;
    d.spectrum_options.log_first = pick & 16;
    d.spectrum_options.fix_up = pick & 32;
    d.spectrum_options.compress = pick & 64;
    (void)tarva::decode_acquisition_record(raw);
    switch (pick % 4) {
    case 0:
    case 1: {
        const std::string file =
            pick & 1 ? framed_tiles(data, size, pick & 128 ? tarva::kOldSpectrumPayload : tarva::kSpectrumPayload)
                     : raw;
        if (auto r = tarva::decode_spectrum(file)) {
            // Written again, the record reads back bit for bit.
            const auto again = tarva::decode_spectrum(tarva::encode_spectrum(*r));
            if (!again || !same_record(*r, *again)) __builtin_trap();
            tarva::load_spectrum(*r, tarva::kMaxPoints, pick & 4, d, out);
            if (d.count != tarva::kMaxPoints || d.spectrum_loaded != 1) __builtin_trap();
        }
        (void)tarva::decode_old_spectrum(file);
        break;
    }
    case 2: {
        if (auto a = tarva::decode_ascii_spectrum(pick & 4 ? raw : data_file_tokens(data, size))) {
            if (a->count < 0 || a->count > tarva::kMaxPoints) __builtin_trap();
            tarva::load_spectrum(a->record, a->count, false, d, out);
        }
        break;
    }
    default: {
        std::istringstream in(pick & 4 ? raw : data_file_tokens(data, size));
        const int n = tarva::read_column_spectrum(in, pick & 128 ? 'V' : 'U', "f.txt", d, out);
        if (n != d.count) __builtin_trap();
        break;
    }
    }
    check(d);
    return 0;
}
