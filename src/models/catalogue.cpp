// The model catalogue: one row per function number with its kind, its
// display name, the parameter that picks a name variant, the names its
// routine writes into the fit state, the routine that evaluates it and
// whether that routine lowers a count above 50.
//
// Adding a model function: its routine in models/functions.h, one row here,
// its entry in lib/qvfun.hlp.
#include "models/catalogue.h"

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "models/evaluate.h"
#include "models/fit_state.h"
#include "models/functions.h"

namespace tarva {

using namespace model_functions;

namespace {

// Peak numbers of the peak series: peak n uses characters 2n-1 and 2n.
constexpr std::string_view kPeakNumbers = "1 2 3 4 5 6 7 8 9 10111213141516";

} // namespace

// Writes the names into the fit state's records.
struct NameWriter {
    FixedText<50>& function_name;
    std::array<FixedText<10>, kMaxParams>& param_name;

    void name(std::string_view text) { function_name = text; }
    // Slot numbers here are 1-based, as the catalogue counts them.
    void param(int slot, std::string_view text) {
        if (slot >= 1 && slot <= kMaxParams) param_name[static_cast<std::size_t>(slot - 1)] = text;
    }
    void param(int slot, const FixedText<10>& text) {
        if (slot >= 1 && slot <= kMaxParams) param_name[static_cast<std::size_t>(slot - 1)] = text;
    }
    void params(std::initializer_list<std::string_view> names) {
        int slot = 1;
        for (std::string_view n : names) param(slot++, n);
    }
    // "Complimentary " before the name when the option is 1, cut to 50.
    void option_name(std::string_view text, int variant) {
        if (variant == 1) {
            std::string full = "Complimentary ";
            full += text;
            function_name = full;
        } else {
            function_name = text;
        }
    }
    // Peak k (1-based) of functions 18 and 21: slots 3k, 3k+1, 3k+2.
    void peaks(int nparams, std::string_view p1, std::string_view p2, std::string_view p3) {
        int count = peak_count(nparams);
        for (int k = 1; k <= count; ++k) {
            std::string_view number = kPeakNumbers.substr(static_cast<std::size_t>(2 * k - 2), 2);
            param(3 * k, joined(p1, number));
            param(3 * k + 1, joined(p2, number));
            param(3 * k + 2, joined(p3, number));
        }
    }
    // An 8-character prefix and a 2-character number, without allocating.
    static FixedText<10> joined(std::string_view prefix, std::string_view number) {
        FixedText<10> t(prefix);
        for (std::size_t i = 0; i < number.size() && prefix.size() + i < 10; ++i) t[prefix.size() + i] = number[i];
        return t;
    }
};

// clang-format off
constexpr std::array<CatalogueRow, kCatalogueSize> kCatalogue{{
    {1, ModelKind::Curve, "Fermi fn B(z) = B0/(1+exp(C0+C1*z+...+C5*z^4))", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"RVIRT", "GAP", "B0", "C0", "C1", "C2", "C3", "C4", "C5", "ZCONST"}); },
     [](const ModelInputs&, int, Params a, float x) { return fermi(a, x); }},
    {2, ModelKind::Curve, "Y = Yo + k1*(X+a) + k2*(X+a)^2 + k3*(X+a)^3 + ...", NameVariant::None, 0,
     [](NameWriter& w, int, int) {
         w.param(1, "Yo");
         w.param(2, "a");
         for (int k = 1; k <= 20; ++k) w.param(k + 2, "k" + std::to_string(k));
     },
     [](const ModelInputs&, int n, Params a, float x) { return polynomial(a, n, x); }},
    {3, ModelKind::Curve, "Error Function with top slope", NameVariant::Complementary, 6,
     [](NameWriter& w, int, int) { w.params({"Y0", "Y1", "Height", "FWHM", "Position", "0 EF,1 CEF", "Top Y0", "Top Y1"}); },
     [](const ModelInputs&, int, Params a, float x) { return error_function_top_slope(a, x); }},
    {4, ModelKind::Curve, "Xs=d*cubrt((Ys-Yoff)/C30*ntan(Ga))+(Ys-Yoff)/ntan(", NameVariant::GridOrder, 7,
     [](NameWriter& w, int, int variant) {
         if (variant == 2) w.name("Xs=d*sqrt((Ys-Yoff)/C20*ntan(Ga))+(Ys-Yoff)/ntan(G");
         if (variant == 5) w.name("Xs=d*fifthrt((Ys-Yoff)/C50*ntan(Ga))+(Ys-Yoff)/nta");
         w.params({"Grid angle", "n", variant == 2 ? "C20" : (variant == 5 ? "C50" : "C30"), "Xoff", "Yoff",
                   "Shad. dist", "Order"});
     },
     [](const ModelInputs&, int, Params a, float x) { return grid_shadow(a, x); }},
    {5, ModelKind::Blank, "Blank function", NameVariant::None, 0, nullptr, nullptr},
    {6, ModelKind::Curve, "Multi-linear function", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"Y1", "g1", "x1", "g2", "x2", "g3", "x3", "g4", "no more"}); },
     [](const ModelInputs&, int, Params a, float x) { return multi_linear(a, x); }},
    {7, ModelKind::Curve, "Y = Y0 + (a0+a1*(X+X0)+...)*exp-(b0+b1*(X+X0)+...)", NameVariant::None, 0,
     [](NameWriter& w, int n, int) {
         if (n < 1) return;
         w.param(1, "X0");
         w.param(2, "Y0");
         for (int k = 0; k <= 9 && 2 * k + 1 <= n; ++k) {
             w.param(2 * k + 3, "a" + std::to_string(k));
             w.param(2 * k + 4, "b" + std::to_string(k));
         }
     },
     [](const ModelInputs&, int n, Params a, float x) { return poly_exp_poly(a, n, x); }},
    {8, ModelKind::Curve, "Linear interp. between ASCENDING X data points", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.param(1, "Unused"); },
     [](const ModelInputs& m, int, Params, float x) { return linear_interpolation(m.data, x); }},
    {9, ModelKind::Connect, "Connect data points (if sigma equals 3 raise pen)", NameVariant::None, 0, nullptr, nullptr},
    {10, ModelKind::Curve, "y(x)=k3(x+a)^1/3 + k1(x+a)^-1 + k0 + l1(x+a)+...", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"a", "k3", "k1", "k0", "l1", "l2", "l3", "l4", "l5"}); },
     [](const ModelInputs&, int, Params a, float x) { return root_inverse_poly(a, x); }},
    {11, ModelKind::Spline, "Cubic spline", NameVariant::None, 0, nullptr,
     [](const ModelInputs& m, int, Params a, float x) { return cubic_spline(a, m.data, m.tables, x); }},
    {12, ModelKind::Histogram, "Histogram", NameVariant::None, 0, nullptr, nullptr},
    {13, ModelKind::BarGraph, "Bar Graph", NameVariant::None, 0, nullptr, nullptr},
    {14, ModelKind::Curve, "Y = Yo + k1*TANH(k2*X)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"Yo", "k1", "k2"}); },
     [](const ModelInputs&, int, Params a, float x) { return tanh_step(a, x); }},
    {15, ModelKind::Curve, "Legendre's F=K*[a0*p0+a1*p1*cos(x+x0)+a2*p2*cos(x+", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"K", "x0", "a0", "a1", "a2", "a3", "a4", "a6", "a6", "a7", "a10", "a11"}); },
     [](const ModelInputs&, int n, Params a, float x) { return legendre_series(a, n, x); }},
    {16, ModelKind::Curve, "Error Function", NameVariant::Complementary, 6,
     [](NameWriter& w, int, int) { w.params({"Y0", "Y1", "Height", "FWHM", "Position", "0 EF,1 CEF"}); },
     [](const ModelInputs&, int, Params a, float x) { return error_function(a, x); }},
    {17, ModelKind::Curve, "Cylinder Function", NameVariant::Complementary, 6,
     [](NameWriter& w, int, int) { w.params({"Y0", "Y1", "Height", "Diameter", "Position", "0 EF,1 CEF"}); },
     [](const ModelInputs&, int, Params a, float x) { return cylinder(a, x); }},
    {18, ModelKind::Curve, "Linear + Gaussian (up to 16)", NameVariant::None, 0,
     [](NameWriter& w, int n, int) {
         w.params({"Yintercept", "  Gradient"});
         w.peaks(n, " Height ", " Centre ", "   Fwhm ");
     },
     [](const ModelInputs&, int n, Params a, float x) { return linear_gaussians(a, n, x); },
     /* caps_count */ true},
    {19, ModelKind::Curve, "Channeling function (2 flat top gaussians)", NameVariant::None, 0,
     [](NameWriter& w, int, int) {
         w.params({"Yintercept", "  Gradient", "  Height 1", "  Centre 1", "    Fwhm 1", "Top width1", "  Height 2",
                   "  Centre 2", "    Fwhm 2", "Top width2"});
     },
     [](const ModelInputs&, int n, Params a, float x) { return channeling(a, n, x); },
     /* caps_count */ true},
    {20, ModelKind::Curve, "Y = Y0+A1*exp((X+X0)/B1)+A2*exp((X+X0)/B2)+...", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"Y0", "X0", "A1", "B1", "A2", "B2", "A3", "B3"}); },
     [](const ModelInputs&, int, Params a, float x) { return three_exponentials(a, x); }},
    {21, ModelKind::Curve, "B.W. Y=YO+Y1*X+H1*(W1/2)**2/((X-E1)**2+(W1/2)**2)", NameVariant::None, 0,
     [](NameWriter& w, int n, int) {
         w.params({"YO", "Y1"});
         w.peaks(n, "Height H", " Posn. E", " Width W");
     },
     [](const ModelInputs&, int n, Params a, float x) { return breit_wigner(a, n, x); },
     /* caps_count */ true},
    {22, ModelKind::Curve, "Y = YS/(1 - K*C*X)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"YS", "K", "C"}); },
     [](const ModelInputs&, int, Params a, float x) { return pole(a, x); }},
    {23, ModelKind::Curve, "Y = k/sqrt(1-((X-Xo)/Vo)**2)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"k", "Xo", "Vo"}); },
     [](const ModelInputs&, int, Params a, float x) { return inverse_sqrt(a, x); }},
    {24, ModelKind::Curve, "y(x) = A + B*sqrt(x+xo)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"xo", "A", "B"}); },
     [](const ModelInputs&, int, Params a, float x) { return square_root(a, x); }},
    {25, ModelKind::Curve, "Y = Yo/(TANH(k1 + k2*X))", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"Yo", "k1", "k2"}); },
     [](const ModelInputs&, int, Params a, float x) { return inverse_tanh(a, x); }},
    {26, ModelKind::Curve, "Y = (B*JN(AX)/(AX)**EX))**E  Bessel function", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"N (0-5)", "EX (0-N)", "E (1 OR 2)", "A", "B"}); },
     [](const ModelInputs&, int, Params a, float x) { return bessel_series(a, x); }},
    {27, ModelKind::Curve, "Dual error function", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"Width", "Sigma 1", "Sigma 2", "Fraction"}); },
     [](const ModelInputs&, int, Params a, float x) { return dual_error_function(a, x); }},
    {28, ModelKind::Curve, "Y=Y0+a0*exp(-a1*x)+s*x+b0*exp(-b1*x)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"Y0", "a0", "a1", "s", "b0", "b1"}); },
     [](const ModelInputs&, int, Params a, float x) { return two_exponentials(a, x); }},
    {29, ModelKind::Curve, "Y=Yo+A1*sin(2*pi*(X+Xo)/B1)+A2*cos(2*pi*(X+X1)/B2)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"Yo", "Xo", "X1", "A1", "B1", "A2", "B2"}); },
     [](const ModelInputs&, int n, Params a, float x) { return sine_cosine(a, n, x); }},
    {30, ModelKind::Curve, "Error function + Gaussian", NameVariant::Complementary, 10,
     [](NameWriter& w, int n, int) {
         w.params({"Yintercept", "  Gradient", "G. Height ", "G. Centre ", "G. Fwhm", "Comm. FWHM"});
         if (n < 3) return;
         w.param(7, "E.F. Heigh");
         w.param(8, "E.F. FWHM");
         w.param(9, "E.F. Pos");
         w.param(10, "0 EF,1 CEF");
     },
     [](const ModelInputs&, int n, Params a, float x) { return error_function_gaussian(a, n, x); },
     /* caps_count */ true},
    {31, ModelKind::Curve, "y = yo + df*sqrt(r^2 - (x-xo)^2)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"yo", "df", "xo", "radius"}); },
     [](const ModelInputs&, int, Params a, float x) { return circle_cap(a, x); }},
    {32, ModelKind::Curve, "y = x + d/(1 + pm*v*cos(v*x/r))", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"d (l.y.)", "plus/minus", "v (v/c)", "r (l.y.)"}); },
     [](const ModelInputs&, int, Params a, float x) { return drift(a, x); }},
    {33, ModelKind::Curve, "y = yo + df*sqrt((x-xo)^2 - r^2)", NameVariant::None, 0,
     [](NameWriter& w, int, int) { w.params({"yo", "df", "xo", "radius"}); },
     [](const ModelInputs&, int, Params a, float x) { return hyperbola(a, x); }},
    {34, ModelKind::Curve, "I = Is[exp(A*(X+X0)) - 1] - Il", NameVariant::None, 0,
     [](NameWriter& w, int n, int) { if (n >= 1) w.params({"X0", "Is", "A", "Il"}); },
     [](const ModelInputs&, int n, Params a, float x) { return diode(a, n, x); }},
    {35, ModelKind::Curve, "V = A*ln(B-I*C) - D*I", NameVariant::None, 0,
     [](NameWriter& w, int n, int) { if (n >= 1) w.params({"A", "B", "C", "D"}); },
     [](const ModelInputs&, int n, Params a, float x) { return log_characteristic(a, n, x); }},
}};
// clang-format on

namespace {

// Row k holds function k + 1.
constexpr bool rows_in_order() {
    for (std::size_t k = 0; k < kCatalogue.size(); ++k)
        if (kCatalogue[k].number != static_cast<int>(k) + 1) return false;
    return true;
}

} // namespace

static_assert(rows_in_order(), "the catalogue lists functions 1, 2, 3, ... in order");

int peak_count(int nparams) {
    int m = (nparams - 2) / 3;
    if (m < 0) return 0;
    return m > 16 ? 16 : m;
}

std::string_view catalogue_name(int function) {
    const CatalogueRow* r = catalogue_row(function);
    return r ? r->name : "Unused";
}

void write_names(FixedText<50>& function_name, std::array<FixedText<10>, kMaxParams>& param_name, const NameKey& key) {
    NameWriter w{function_name, param_name};
    const CatalogueRow* r = catalogue_row(key.function);
    if (!r) {
        w.name("Unused");
        return;
    }
    if (r->variant == NameVariant::Complementary)
        w.option_name(r->name, key.variant);
    else
        w.name(r->name);
    if (r->names) r->names(w, key.nparams, key.variant);
}

void FitState::write_pending_names() const {
    names_pending_ = false;
    write_names(function_name_, param_name_, pending_);
}

} // namespace tarva
