// The model catalogue: one table (catalogue.cpp) with a row per function
// number holding its kind (what it draws), its display name, the parameter
// that picks a name variant, the names its routine writes into the fit
// state, the routine that evaluates it and whether that routine lowers a
// count above 50. Everything else asks the catalogue about a function
// number; no other list of function numbers exists.
//
// Adding a model function: its routine in models/functions.h, one row in
// the table, its entry in lib/qvfun.hlp.
#pragma once

#include <array>
#include <string_view>

#include "models/fit_state.h"
#include "models/functions.h"
#include "text/fixed_text.h"

namespace tarva {

struct ModelInputs;
struct NameWriter; // writes the names into the fit state's records

// How a parameter value picks the name variant of a function.
enum class NameVariant {
    None,
    Complementary, // the option parameter is 1: "Complimentary " before the name
    GridOrder,     // the order parameter is 2 or 5: a name of its own
};

// What a function number draws, as the commands and the data file see it;
// they ask the kind, never the number.
enum class ModelKind {
    Curve,     // a formula of its parameters, drawn as a curve
    Spline,    // the cubic spline through SPLINE's knots, drawn as a curve
    Blank,     // draws nothing
    Connect,   // lines joining the data points
    Histogram, // steps through the data points
    BarGraph,  // bars from the axis to the data points
};

struct CatalogueRow {
    int number;
    ModelKind kind;
    std::string_view name;
    NameVariant variant;
    int option; // 1-based slot of the parameter that picks the variant
    // The parameter names (and any name other than the row's) for the
    // parameter count n and the name variant; nullptr: names no parameters.
    void (*names)(NameWriter& w, int n, int variant);
    // The value at x, n the parameter count (at most 50); nullptr: a plotting
    // style, valued 0.
    double (*value)(const ModelInputs& m, int n, model_functions::Params a, float x);
    // The routine lowers a parameter count above 50 to 50 (in the fit
    // state, so the fit reports 50).
    bool caps_count = false;
};

inline constexpr int kCatalogueSize = 35;
extern const std::array<CatalogueRow, kCatalogueSize> kCatalogue;

// The row of a function number; nullptr outside 1..35 (those are "Unused").
inline const CatalogueRow* catalogue_row(int function) {
    if (function < 1 || function > kCatalogueSize) return nullptr;
    return &kCatalogue[static_cast<std::size_t>(function - 1)];
}

// The kind of function n; numbers outside the catalogue count as curves
// (valued 0).
inline ModelKind model_kind(int function) {
    const CatalogueRow* r = catalogue_row(function);
    return r ? r->kind : ModelKind::Curve;
}

// Whether INSERT asks a parameter count for function n and a data file
// lists the model's value at each point: not for the drawing styles that
// take no parameters (blank, connecting lines, histogram) nor for the
// spline, whose knots SPLINE sets.
inline bool takes_parameters(int function) {
    const ModelKind k = model_kind(function);
    return k == ModelKind::Curve || k == ModelKind::BarGraph;
}

// Whether DRAW's automatic limits take in the model's values (not where
// the function draws no curve of its own: blank, lines, histogram).
inline bool model_sets_limits(int function) {
    const ModelKind k = model_kind(function);
    return k != ModelKind::Blank && k != ModelKind::Connect && k != ModelKind::Histogram;
}

// The plain display name of function n (without the option variants);
// "Unused" outside 1..35.
std::string_view catalogue_name(int function);

// The code of the name variant the parameters choose: 1 for the
// complementary form of functions 3, 16, 17 and 30, the order 2 or 5 of
// function 4, otherwise 0.
inline int name_variant(const CatalogueRow* r, model_functions::Params a) {
    if (!r) return 0;
    switch (r->variant) {
    case NameVariant::Complementary: return round_nearest(a(r->option)) == 1 ? 1 : 0;
    case NameVariant::GridOrder: {
        const int order = round_nearest(a(r->option));
        return (order == 2 || order == 5) ? order : 0;
    }
    case NameVariant::None: break;
    }
    return 0;
}

// Number of peaks of the peak series (functions 18 and 21) for a parameter
// count: (n - 2) / 3 truncated, between 0 and 16.
int peak_count(int nparams);

// Writes the names that the routine of key.function writes for that
// parameter count and variant. Slots the routine does not name are left.
void write_names(FixedText<50>& function_name, std::array<FixedText<10>, kMaxParams>& param_name, const NameKey& key);

} // namespace tarva
