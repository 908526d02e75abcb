// Peak shapes: Gaussian and Breit-Wigner series on a straight line,
// flat-topped Gaussians, error-function edges, the cylinder edge and the
// two-width window.
#include <cmath>

#include "models/functions.h"
#include "text/fixed_text.h"

namespace tarva::model_functions {

namespace {

// Peaks below these magnitudes are left out rather than divided by.
constexpr double kTinyPeak = 1e-20;
constexpr double kTinyCommonWidth = 1e-10;

double gaussian(double height, double centre, double fwhm, double x) {
    if (std::abs(height) <= kTinyPeak || std::abs(fwhm) <= kTinyPeak) return 0.0;
    double u = x - centre;
    // (x - c)^2 is one factor, formed before it is scaled, as in the
    // flat-topped peaks.
    double exponent = -kGaussFactor * (u * u) / (fwhm * fwhm);
    // Far out in the wings exp is exactly 0: most peaks of a long series are
    // far from any one x, and exp is the cost of this function.
    if (exponent < -746.0) return height * 0.0;
    return height * std::exp(exponent);
}

// Edge of functions 3, 16 and 30: ERFC8 for option 1, ERF8 otherwise.
double edge(int option, double h, double w, double p, double x) {
    return option == 1 ? erfc8(h, w, p, x) : erf8(h, w, p, x);
}

// Flat-topped Gaussian: the height over the top, Gaussian wings beside it.
double flat_top(double height, double centre, double fwhm, double top, double x) {
    double half = top / 2.0;
    double wing;
    if (x < centre - half) {
        wing = x - centre + half;
    } else if (x > centre + half) {
        wing = x - centre - half;
    } else {
        return height;
    }
    if (std::abs(height) <= kTinyPeak || std::abs(fwhm) <= kTinyPeak) return 0.0;
    // The square is one factor, formed before it is scaled (the grouping
    // decides the last bit of the value).
    return height * std::exp(-kGaussFactor * (wing * wing) / (fwhm * fwhm));
}

// Error function approximation for the window of function 27.
double erf_approx(double z) {
    if (z < 0.0) return -erf_approx(-z);
    if (z > 2.8) return 1.0;
    double p = 1.0 + z * (0.278393 + z * (0.230389 + z * (0.000972 + z * 0.078108)));
    double p2 = p * p;
    return 1.0 - 1.0 / (p2 * p2);
}

double window(double half_width, double sigma, double x) {
    if (sigma == 0.0) return std::abs(x) <= half_width ? 1.0 : 0.0;
    if (sigma < 0.0) return 100.0;
    double s = sigma * kSqrt2Window;
    return (erf_approx((half_width + x) / s) + erf_approx((half_width - x) / s)) / 2.0;
}

} // namespace

double normal_distribution(double t) {
    if (t <= -5.0) return 0.0;
    if (t >= 5.0) return 1.0;
    if (t == 0.0) return 0.5;
    if (std::isnan(t)) return t;
    const int n_max = static_cast<int>(t * t + 20.0 * std::abs(t) + 10.0);
    double term = t / kSqrt2Edge;
    double sum = term;
    for (int k = 1; k <= n_max; ++k) {
        double previous = std::abs(term);
        term = -t * (term * 0.5 * t) * (2.0 * k - 1.0) / (k * (2.0 * k + 1.0));
        sum += term;
        if ((std::abs(term) + previous) * 100.0 / std::abs(sum) < kSeriesTolerance) break;
    }
    return sum / kSqrtPi + 0.5;
}

double erf8(double h, double w, double p, double x) {
    if (w == 0.0) return 0.0;
    return h * normal_distribution((x - p) * kFwhmToSigma / w);
}

double erfc8(double h, double w, double p, double x) {
    if (w == 0.0) return 0.0;
    return h * (1.0 - normal_distribution((x - p) * kFwhmToSigma / w));
}

double error_function_top_slope(Params a, float xs) {
    double x = xs;
    int option = round_nearest(a(6));
    double v = a(1) + a(2) * x + edge(option, a(3), a(4), a(5), x);
    if ((option == 1 && x < a(5)) || (option == 0 && x > a(5))) v += a(7) + (x - a(5)) * a(8);
    return v;
}

double error_function(Params a, float xs) {
    double x = xs;
    return a(1) + a(2) * x + edge(round_nearest(a(6)), a(3), a(4), a(5), x);
}

double cylinder(Params a, float xs) {
    double u = static_cast<double>(xs) - a(5);
    double d = a(4);
    double s;
    if (u <= -d / 2.0) {
        s = 0.0;
    } else if (u >= d / 2.0) {
        s = 1.0;
    } else {
        s = 4.0 * u / (d * d * kPi) * std::sqrt(d * d / 4.0 - u * u) + std::asin(2.0 * u / d) / kPi + 0.5;
    }
    if (round_nearest(a(6)) == 1) s = 1.0 - s;
    return s * a(3) + a(1) + a(2) * u;
}

double linear_gaussians(Params a, int n, float xs) {
    double x = xs;
    if (n <= 0) return 0.0;
    if (n == 1) return a(1);
    double v = a(1) + a(2) * x;
    int peaks = (n - 2) / 3;
    if (peaks > 16) peaks = 16;
    for (int k = 1; k <= peaks; ++k) v += gaussian(a(3 * k), a(3 * k + 1), a(3 * k + 2), x);
    return v;
}

double channeling_term(Params a, int k, double x) {
    const int s = 4 * k - 1; // A(s) is the height of peak k
    return flat_top(a(s), a(s + 1), a(s + 2), a(s + 3), x);
}

double channeling(Params a, int n, float xs) {
    double x = xs;
    if (n <= 0) return 0.0;
    if (n == 1) return a(1);
    double v = a(1) + a(2) * x;
    if (n > 5) v += channeling_term(a, 1, x);
    if (n > 9) v += channeling_term(a, 2, x);
    return v;
}

double breit_wigner_term(Params a, int k, double x) {
    double h = a(3 * k + 2) / 2.0;
    double u = x - a(3 * k + 1);
    double q = u * u + h * h;
    // A peak whose q is exactly 0 adds nothing (adding -0 leaves any sum
    // exactly as it is). h^2 is one factor, formed before it is scaled.
    return q != 0.0 ? a(3 * k) * (h * h) / q : -0.0;
}

double breit_wigner(Params a, int n, float xs) {
    double x = xs;
    if (n == 1) return a(1);
    double v = a(1) + a(2) * x;
    int peaks = (n - 2) / 3;
    if (peaks < 0) peaks = 0;
    if (peaks > 16) peaks = 16;
    for (int k = 1; k <= peaks; ++k) v += breit_wigner_term(a, k, x);
    return v;
}

double dual_error_function(Params a, float xs) {
    double x = xs;
    double f = a(4);
    return f * window(a(1), a(2), x) + (1.0 - f) * window(a(1), a(3), x);
}

double error_function_gaussian_term(Params a, int k, double x) {
    double gauss_fwhm = a(5);
    double edge_fwhm = a(8);
    if (std::abs(a(6)) > kTinyCommonWidth) {
        gauss_fwhm = a(6);
        edge_fwhm = a(6);
    }
    if (k == 1) return gaussian(a(3), a(4), gauss_fwhm, x);
    return edge(round_nearest(a(10)), a(7), edge_fwhm, a(9), x);
}

double error_function_gaussian(Params a, int n, float xs) {
    double x = xs;
    if (n <= 0) return 0.0;
    if (n == 1) return a(1);
    double v = a(1) + a(2) * x;
    if (n == 2) return v;
    v += error_function_gaussian_term(a, 1, x);
    v += error_function_gaussian_term(a, 2, x);
    return v;
}

} // namespace tarva::model_functions
