#include "physics/element_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "io/output_sink.h"
#include "text/format.h"

namespace tarva {

const std::string_view kElementSymbols =
    "H HeLiBeB C N O F NeNaMgAlSiP S ClArK CaScTiV CrMnFeCoNiCuZnGaGeAsSeBrKrRbSrY ZrNbMoTcRuRhPdAgCdInSnSbTeI "
    "XeCsBaLaCePrNdPmSmEuGdTbDyHoErTmYbLuHfTaW ReOsIrPtAuHgTlPbBiPoAtRnFrRaAcThPaU NpPuAmCmBkCfEsFmMdNoLw";

const std::array<float, kElementCount> kAtomicWeights{
    1.008f,   4.0026f, 6.939f,   9.0122f, 10.811f,   12.0112f, 14.0067f, 15.9994f, // H .. O
    18.9984f, 20.183f, 22.9898f, 24.312f, 26.9815f,  28.086f,  30.9738f, 32.064f,  // F .. S
    35.453f,  39.948f, 39.102f,  40.08f,  44.956f,   47.9f,    50.942f,  51.996f,  // Cl .. Cr
    54.938f,  55.847f, 58.9332f, 58.71f,  63.546f,   65.37f,   69.72f,   72.59f,   // Mn .. Ge
    74.9216f, 78.96f,  79.904f,  83.8f,   85.47f,    87.62f,   88.905f,  91.22f,   // As .. Zr
    92.906f,  95.94f,  97.0f,    101.07f, 102.905f,  106.4f,   107.868f, 112.4f,   // Nb .. Cd
    114.82f,  118.69f, 121.75f,  127.6f,  126.9044f, 131.3f,   132.905f, 137.34f,  // In .. Ba
    138.91f,  140.12f, 140.907f, 144.24f, 145.0f,    150.35f,  151.96f,  157.25f,  // La .. Gd
    158.924f, 162.5f,  164.93f,  167.3f,  168.934f,  173.04f,  174.97f,  178.49f,  // Tb .. Hf
    180.948f, 183.85f, 186.2f,   190.2f,  192.2f,    195.09f,  196.967f, 200.59f,  // Ta .. Hg
    204.37f,  207.19f, 208.98f,  209.0f,  210.0f,    222.0f,   223.0f,   226.0f,   // Tl .. Ra
    227.0f,   232.0f,  231.0f,   238.0f,  237.0f,    244.0f,   243.0f,   247.0f,   // Ac .. Cm
    247.0f,   251.0f,  254.0f,   257.0f,  256.0f,    254.0f,   257.0f,             // Bk .. Lw
};

namespace {

// Isotopes of H .. Ne: (mass number, mass excess in micro-u), 0 = empty.
constexpr std::array<std::array<Isotope, 3>, 10> kIsotopes{{
    {{{1, 7825}, {2, 14102}, {3, 16050}}},
    {{{3, 16030}, {4, 2603}, {0, 0}}},
    {{{6, 15125}, {7, 16004}, {0, 0}}},
    {{{9, 12186}, {0, 0}, {0, 0}}},
    {{{10, 12939}, {11, 9305}, {0, 0}}},
    {{{12, 0}, {13, 3354}, {14, 0}}},
    {{{14, 3074}, {15, 108}, {0, 0}}},
    {{{16, -5085}, {17, -867}, {18, -840}}},
    {{{19, -1595}, {0, 0}, {0, 0}}},
    {{{20, -7560}, {21, -6151}, {22, -8615}}},
}};

void list_table(OutputSink& out) {
    for (int z = 1; z <= kElementCount; ++z)
        out.line(format_I(z, 3) + "  " + std::string(element_symbol(z)) + "  " + format_G(atomic_weight(z), 12, 5, 1));
}

// One candidate line of the "?" weight lookup.
std::string candidate(int z, float given) {
    const float w = atomic_weight(z);
    return format_I(z, 3) + " " + std::string(element_symbol(z)) + "   " + format_F(w, 7, 3) + "    (" +
           format_F(w - given, 10, 6) + ")";
}

void print_candidates(OutputSink& out, int match, float given) {
    out.line(std::string(12, ' ') + "Unknown element of atomic weight " + format_F(given, 7, 3) + " could be:");
    out.line(std::string(20, ' ') + "  Z      At. Wt.    (  error   )");
    for (int z = std::max(1, match - 2); z <= std::min(kElementCount, match + 2); ++z) {
        if (z == match)
            out.line(std::string(16, ' ') + ">>> " + candidate(z, given) + " <<< Best match");
        else
            out.line(std::string(20, ' ') + candidate(z, given));
    }
}

void clear_result(FixedText<2>& symbol, int& z, float& weight) {
    symbol = "";
    z = 0;
    weight = 0.0f;
}

void lookup_by_weight(OutputSink& out, FixedText<2>& symbol, int& z, float& weight) {
    const bool verbose = symbol.view().find('?') != std::string_view::npos;
    if (weight > kHeaviestWeight || !(weight > 0.0f)) {
        if (verbose)
            out.line(weight > kHeaviestWeight ? "The unknown mass is unreasonably heavy."
                                              : "The unknown mass is unreasonably light.");
        clear_result(symbol, z, weight);
        return;
    }
    const int match = nearest_element(weight);
    if (verbose) print_candidates(out, match, weight);
    z = match;
    weight = atomic_weight(match);
    symbol = element_symbol(match);
}

void lookup_by_z(OutputSink& out, FixedText<2>& symbol, int& z, float& weight) {
    if (z <= 0) {
        out.line("Error in Atomic number: " + format_I(z, 5));
        symbol = "";
        weight = 0.0f;
        return;
    }
    if (z > kElementCount) {
        symbol = "";
        weight = 0.0f;
        return;
    }
    symbol = element_symbol(z);
    weight = atomic_weight(z);
}

} // namespace

std::string_view element_symbol(int z) { return kElementSymbols.substr(static_cast<std::size_t>(2 * (z - 1)), 2); }

float atomic_weight(int z) { return kAtomicWeights[static_cast<std::size_t>(z - 1)]; }

int nearest_element(float weight) {
    if (weight > kHeaviestWeight || !(weight > 0.0f)) return 0;
    int match = 1;
    float best = std::fabs(atomic_weight(1) - weight);
    for (int z = 2; z <= kElementCount; ++z) {
        const float d = std::fabs(atomic_weight(z) - weight);
        if (d <= best) {
            best = d;
            match = z;
        }
    }
    return match;
}

FixedText<2> normalised_symbol(std::string_view typed) {
    std::string t = pad(typed, 2);
    if (std::isdigit(static_cast<unsigned char>(t[1]))) t[1] = ' ';
    if (t[0] == ' ') std::swap(t[0], t[1]);
    t[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    t[1] = static_cast<char>(std::tolower(static_cast<unsigned char>(t[1])));
    return FixedText<2>(t);
}

int find_symbol(std::string_view symbol) {
    const std::string s = pad(symbol, 2);
    for (int z = 1; z <= kElementCount; ++z)
        if (element_symbol(z) == s) return z;
    return 0;
}

void element_lookup(OutputSink& out, FixedText<2>& symbol, int& z, float& weight) {
    const std::string_view typed = symbol.view();
    if (typed == "..") {
        list_table(out);
        return;
    }
    if (typed == "  ") {
        lookup_by_z(out, symbol, z, weight);
        return;
    }
    if (typed.find_first_of("?#") != std::string_view::npos) {
        lookup_by_weight(out, symbol, z, weight);
        return;
    }
    symbol = normalised_symbol(typed);
    z = find_symbol(symbol.view());
    if (z == 0) {
        out.line("WARNING: " + symbol.str() + " is not a known element symbol.");
        weight = 0.0f;
        return;
    }
    weight = atomic_weight(z);
}

std::array<Isotope, 3> isotopes_of(int z) {
    if (z < 1 || z > static_cast<int>(kIsotopes.size())) return {};
    return kIsotopes[static_cast<std::size_t>(z - 1)];
}

void isotope_mass(std::string_view symbol, int& mass_number, double& mass) {
    const int z = find_symbol(normalised_symbol(symbol).view());
    for (const Isotope& iso : isotopes_of(z)) {
        if (iso.mass_number != 0 && iso.mass_number == mass_number) {
            mass = iso.mass_number + iso.excess / 1e6;
            return;
        }
    }
    mass = 0.0;
    mass_number = -1;
}

} // namespace tarva
