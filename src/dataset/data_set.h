// The one current data set with its secondary stores.
#pragma once

#include <array>
#include <cstdint>

#include "dataset/mca_reading_options.h"
#include "text/fixed_text.h"

namespace tarva {

inline constexpr int kMaxPoints = 1024;

// Raw channel counts of the last spectrum read.
using SpectrumBuffer = std::array<std::int32_t, kMaxPoints>;

// Calibration, beam and detector values of a spectrum, in file order.
struct ExperimentalParameters {
    std::array<float, 10> value{1024.0f, 0.0f, 1.0f, 0.0f, 1.0f, 4.0026f, 2.0f, 170.0f, 0.0f, 0.0f};
    float& channels() { return value[0]; }
    float& first_channel() { return value[1]; }
    float& energy_per_channel() { return value[2]; }
    float& energy_offset() { return value[3]; }
    float& normalisation() { return value[4]; }
    float& beam_mass() { return value[5]; }
    float& beam_energy() { return value[6]; }
    float& scattering_angle() { return value[7]; }
    float& solid_angle() { return value[8]; }
    float& charge() { return value[9]; }
};

// Points kept aside for background subtraction, ascending in X.
struct BackgroundBuffer {
    std::array<double, kMaxPoints> x{};
    std::array<double, kMaxPoints> y{};
    int count = 0;
};

// NORM's region and target height, kept between commands; low limit first.
struct NormalisationSettings {
    double low = 0.0;
    double high = 0.0;
    double height = 0.0;
};

struct DataSet {
    std::array<float, kMaxPoints> X{};
    std::array<float, kMaxPoints> Y{};
    std::array<float, kMaxPoints> SIGMA{};
    int count = 0;      // valid points, 0..1024
    int dimensions = 0; // layout code of the data as last read or saved
    FixedText<100> caption;
    FixedText<100> x_label{"X"};
    FixedText<100> y_label{"Y"};
    FixedText<50> file_name;
    int log_y = 0;       // stored Y are log10 of the measured values
    int log_x = 0;       // stored X are log10 of the measured values
    int log_scale_y = 0; // label the Y axis as a logarithmic scale
    int log_scale_x = 0; // label the X axis as a logarithmic scale
    char spectrum_kind = ' ';
    int spectrum_loaded = 0;

    SpectrumBuffer spectrum{};
    ExperimentalParameters experiment;
    SpectrumOptions spectrum_options;
    BackgroundBuffer background;
    NormalisationSettings normalisation;
};

} // namespace tarva
