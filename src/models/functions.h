// The routines of the model catalogue, one per function, and the helpers
// they share. Each takes the parameter vector (read 1-based, as A(i)), the
// parameter count n where the routine reads it, and the abscissa x in single
// precision (after the evaluator's 10**X option); each returns a double and
// guards its own singular points.
#pragma once

#include <cmath>
#include <limits>

#include "dataset/data_set.h"
#include "models/model_tables.h"

namespace tarva::model_functions {

// Parameter vector read as A(1) .. A(50).
struct Params {
    const double* v;
    double operator()(int i) const { return v[i - 1]; }
};

// Constants held in single precision and used in double arithmetic.
inline constexpr double kGaussFactor = 2.7725887f; // 4 ln 2
inline constexpr double kFwhmToSigma = 2.35482f;
inline constexpr double kSqrt2Edge = 1.4142135f;
inline constexpr double kSqrt2Window = 1.4142137f;
inline constexpr double kSqrtPi = 1.7724539f;
inline constexpr double kPi = 3.1415927f;
inline constexpr double kSeriesTolerance = 1e-4f; // percent
inline constexpr double kTwoPi = 6.2831855f;
inline constexpr double kDegree = 0.017453292f;
inline constexpr double kHuge20 = 1e20f;
inline constexpr double kHuge30 = 1e30f;

// A double stored in a single-precision variable: rounded, and infinite
// beyond the single range (as the hardware store does).
inline float to_single(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (v > kMax)
        return v < 3.4028235677973366e38 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::infinity();
    if (v < -kMax)
        return v > -3.4028235677973366e38 ? -std::numeric_limits<float>::max()
                                          : -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

// Cube root with its sign; 0 for abs(v) <= 1e-25.
double cube_root(double v);

// The normal cumulative distribution at t by its series (0 at t <= -5, 1 at
// t >= 5).
double normal_distribution(double t);
// H times the distribution at t = (x - P)*2.35482/W (ERF8), or H times one
// minus it (ERFC8); 0 when W is 0.
double erf8(double h, double w, double p, double x);
double erfc8(double h, double w, double p, double x);

// Peak shapes.
double error_function_top_slope(Params a, float x);       // 3
double error_function(Params a, float x);                 // 16
double cylinder(Params a, float x);                       // 17
double linear_gaussians(Params a, int n, float x);        // 18
double channeling(Params a, int n, float x);              // 19
double breit_wigner(Params a, int n, float x);            // 21
double dual_error_function(Params a, float x);            // 27
double error_function_gaussian(Params a, int n, float x); // 30

// Term k of the functions that add terms one by one to a start value (the
// fit's fast kernels form the same terms): the polynomial's k-th power term
// (its single term a(3)*(x+a(2)) when n <= 3), flat-topped peak k of
// function 19, Breit-Wigner peak k of function 21, and the Gaussian (k = 1)
// or the edge (k = 2) of function 30. A term that the function leaves out
// is -0, which leaves any sum exactly as it is.
double polynomial_term(Params a, int n, int k, double x);
double channeling_term(Params a, int k, double x);
double breit_wigner_term(Params a, int k, double x);
double error_function_gaussian_term(Params a, int k, double x);

// Other analytic functions.
double fermi(Params a, float x);                     // 1
double polynomial(Params a, int n, float x);         // 2
double grid_shadow(Params a, float x);               // 4
double multi_linear(Params a, float x);              // 6
double poly_exp_poly(Params a, int n, float x);      // 7
double root_inverse_poly(Params a, float x);         // 10
double tanh_step(Params a, float x);                 // 14
double legendre_series(Params a, int n, float x);    // 15
double three_exponentials(Params a, float x);        // 20
double pole(Params a, float x);                      // 22
double inverse_sqrt(Params a, float x);              // 23
double square_root(Params a, float x);               // 24
double inverse_tanh(Params a, float x);              // 25
double bessel_series(Params a, float x);             // 26
double two_exponentials(Params a, float x);          // 28
double sine_cosine(Params a, int n, float x);        // 29
double circle_cap(Params a, float x);                // 31
double drift(Params a, float x);                     // 32
double hyperbola(Params a, float x);                 // 33
double diode(Params a, int n, float x);              // 34
double log_characteristic(Params a, int n, float x); // 35

// Interpolating functions.
double linear_interpolation(const DataSet& data, float x);                         // 8
double cubic_spline(Params a, const DataSet& data, const ModelTables& t, float x); // 11

} // namespace tarva::model_functions
