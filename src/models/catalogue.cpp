// The names each function routine writes into the fit state: the display
// name and the parameter names, with the variants that depend on the
// parameter count or on an option parameter.
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "models/catalogue.h"
#include "models/fit_state.h"

namespace tarva {

namespace {

// Peak numbers of the peak series: peak n uses characters 2n-1 and 2n.
constexpr std::string_view kPeakNumbers = "1 2 3 4 5 6 7 8 9 10111213141516";

struct Writer {
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

} // namespace

int peak_count(int nparams) {
    int m = (nparams - 2) / 3;
    if (m < 0) return 0;
    return m > 16 ? 16 : m;
}

std::string_view catalogue_name(int function) {
    switch (function) {
    case 1: return "Fermi fn B(z) = B0/(1+exp(C0+C1*z+...+C5*z^4))";
    case 2: return "Y = Yo + k1*(X+a) + k2*(X+a)^2 + k3*(X+a)^3 + ...";
    case 3: return "Error Function with top slope";
    case 4: return "Xs=d*cubrt((Ys-Yoff)/C30*ntan(Ga))+(Ys-Yoff)/ntan(";
    case 5: return "Blank function";
    case 6: return "Multi-linear function";
    case 7: return "Y = Y0 + (a0+a1*(X+X0)+...)*exp-(b0+b1*(X+X0)+...)";
    case 8: return "Linear interp. between ASCENDING X data points";
    case 9: return "Connect data points (if sigma equals 3 raise pen)";
    case 10: return "y(x)=k3(x+a)^1/3 + k1(x+a)^-1 + k0 + l1(x+a)+...";
    case 11: return "Cubic spline";
    case 12: return "Histogram";
    case 13: return "Bar Graph";
    case 14: return "Y = Yo + k1*TANH(k2*X)";
    case 15: return "Legendre's F=K*[a0*p0+a1*p1*cos(x+x0)+a2*p2*cos(x+";
    case 16: return "Error Function";
    case 17: return "Cylinder Function";
    case 18: return "Linear + Gaussian (up to 16)";
    case 19: return "Channeling function (2 flat top gaussians)";
    case 20: return "Y = Y0+A1*exp((X+X0)/B1)+A2*exp((X+X0)/B2)+...";
    case 21: return "B.W. Y=YO+Y1*X+H1*(W1/2)**2/((X-E1)**2+(W1/2)**2)";
    case 22: return "Y = YS/(1 - K*C*X)";
    case 23: return "Y = k/sqrt(1-((X-Xo)/Vo)**2)";
    case 24: return "y(x) = A + B*sqrt(x+xo)";
    case 25: return "Y = Yo/(TANH(k1 + k2*X))";
    case 26: return "Y = (B*JN(AX)/(AX)**EX))**E  Bessel function";
    case 27: return "Dual error function";
    case 28: return "Y=Y0+a0*exp(-a1*x)+s*x+b0*exp(-b1*x)";
    case 29: return "Y=Yo+A1*sin(2*pi*(X+Xo)/B1)+A2*cos(2*pi*(X+X1)/B2)";
    case 30: return "Error function + Gaussian";
    case 31: return "y = yo + df*sqrt(r^2 - (x-xo)^2)";
    case 32: return "y = x + d/(1 + pm*v*cos(v*x/r))";
    case 33: return "y = yo + df*sqrt((x-xo)^2 - r^2)";
    case 34: return "I = Is[exp(A*(X+X0)) - 1] - Il";
    case 35: return "V = A*ln(B-I*C) - D*I";
    default: return "Unused";
    }
}

void write_names(FixedText<50>& function_name, std::array<FixedText<10>, kMaxParams>& param_name, const NameKey& key) {
    Writer w{function_name, param_name};
    const int n = key.nparams;
    switch (key.function) {
    case 1:
        w.name(catalogue_name(1));
        w.params({"RVIRT", "GAP", "B0", "C0", "C1", "C2", "C3", "C4", "C5", "ZCONST"});
        break;
    case 2:
        w.name(catalogue_name(2));
        w.param(1, "Yo");
        w.param(2, "a");
        for (int k = 1; k <= 20; ++k) w.param(k + 2, "k" + std::to_string(k));
        break;
    case 3:
        w.option_name(catalogue_name(3), key.variant);
        w.params({"Y0", "Y1", "Height", "FWHM", "Position", "0 EF,1 CEF", "Top Y0", "Top Y1"});
        break;
    case 4:
        if (key.variant == 2) {
            w.name("Xs=d*sqrt((Ys-Yoff)/C20*ntan(Ga))+(Ys-Yoff)/ntan(G");
        } else if (key.variant == 5) {
            w.name("Xs=d*fifthrt((Ys-Yoff)/C50*ntan(Ga))+(Ys-Yoff)/nta");
        } else {
            w.name(catalogue_name(4));
        }
        w.params({"Grid angle", "n", key.variant == 2 ? "C20" : (key.variant == 5 ? "C50" : "C30"), "Xoff", "Yoff",
                  "Shad. dist", "Order"});
        break;
    case 6:
        w.name(catalogue_name(6));
        w.params({"Y1", "g1", "x1", "g2", "x2", "g3", "x3", "g4", "no more"});
        break;
    case 7:
        w.name(catalogue_name(7));
        if (n >= 1) {
            w.param(1, "X0");
            w.param(2, "Y0");
            for (int k = 0; k <= 9 && 2 * k + 1 <= n; ++k) {
                w.param(2 * k + 3, "a" + std::to_string(k));
                w.param(2 * k + 4, "b" + std::to_string(k));
            }
        }
        break;
    case 8:
        w.name(catalogue_name(8));
        w.param(1, "Unused");
        break;
    case 10:
        w.name(catalogue_name(10));
        w.params({"a", "k3", "k1", "k0", "l1", "l2", "l3", "l4", "l5"});
        break;
    case 14:
        w.name(catalogue_name(14));
        w.params({"Yo", "k1", "k2"});
        break;
    case 15:
        w.name(catalogue_name(15));
        w.params({"K", "x0", "a0", "a1", "a2", "a3", "a4", "a6", "a6", "a7", "a10", "a11"});
        break;
    case 16:
        w.option_name(catalogue_name(16), key.variant);
        w.params({"Y0", "Y1", "Height", "FWHM", "Position", "0 EF,1 CEF"});
        break;
    case 17:
        w.option_name(catalogue_name(17), key.variant);
        w.params({"Y0", "Y1", "Height", "Diameter", "Position", "0 EF,1 CEF"});
        break;
    case 18:
        w.name(catalogue_name(18));
        w.params({"Yintercept", "  Gradient"});
        w.peaks(n, " Height ", " Centre ", "   Fwhm ");
        break;
    case 19:
        w.name(catalogue_name(19));
        w.params({"Yintercept", "  Gradient", "  Height 1", "  Centre 1", "    Fwhm 1", "Top width1", "  Height 2",
                  "  Centre 2", "    Fwhm 2", "Top width2"});
        break;
    case 20:
        w.name(catalogue_name(20));
        w.params({"Y0", "X0", "A1", "B1", "A2", "B2", "A3", "B3"});
        break;
    case 21:
        w.name(catalogue_name(21));
        w.params({"YO", "Y1"});
        w.peaks(n, "Height H", " Posn. E", " Width W");
        break;
    case 22:
        w.name(catalogue_name(22));
        w.params({"YS", "K", "C"});
        break;
    case 23:
        w.name(catalogue_name(23));
        w.params({"k", "Xo", "Vo"});
        break;
    case 24:
        w.name(catalogue_name(24));
        w.params({"xo", "A", "B"});
        break;
    case 25:
        w.name(catalogue_name(25));
        w.params({"Yo", "k1", "k2"});
        break;
    case 26:
        w.name(catalogue_name(26));
        w.params({"N (0-5)", "EX (0-N)", "E (1 OR 2)", "A", "B"});
        break;
    case 27:
        w.name(catalogue_name(27));
        w.params({"Width", "Sigma 1", "Sigma 2", "Fraction"});
        break;
    case 28:
        w.name(catalogue_name(28));
        w.params({"Y0", "a0", "a1", "s", "b0", "b1"});
        break;
    case 29:
        w.name(catalogue_name(29));
        w.params({"Yo", "Xo", "X1", "A1", "B1", "A2", "B2"});
        break;
    case 30:
        w.option_name(catalogue_name(30), key.variant);
        w.params({"Yintercept", "  Gradient", "G. Height ", "G. Centre ", "G. Fwhm", "Comm. FWHM"});
        if (n >= 3) {
            w.param(7, "E.F. Heigh");
            w.param(8, "E.F. FWHM");
            w.param(9, "E.F. Pos");
            w.param(10, "0 EF,1 CEF");
        }
        break;
    case 31:
    case 33:
        w.name(catalogue_name(key.function));
        w.params({"yo", "df", "xo", "radius"});
        break;
    case 32:
        w.name(catalogue_name(32));
        w.params({"d (l.y.)", "plus/minus", "v (v/c)", "r (l.y.)"});
        break;
    case 34:
        w.name(catalogue_name(34));
        if (n >= 1) w.params({"X0", "Is", "A", "Il"});
        break;
    case 35:
        w.name(catalogue_name(35));
        if (n >= 1) w.params({"A", "B", "C", "D"});
        break;
    default: // 5, 9, 11, 12, 13 name no parameters; 36 and beyond are unused
        w.name(catalogue_name(key.function));
        break;
    }
}

void FitState::write_pending_names() const {
    names_pending_ = false;
    write_names(function_name_, param_name_, pending_);
}

} // namespace tarva
