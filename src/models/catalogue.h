// The model catalogue: one table (catalogue.cpp) with a row per function
// number holding its display name, the parameter that picks a name variant,
// the names its routine writes into the fit state and the routine that
// evaluates it.
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

struct CatalogueRow {
    int number;
    std::string_view name;
    NameVariant variant;
    int option; // 1-based slot of the parameter that picks the variant
    // The parameter names (and any name other than the row's) for the
    // parameter count n and the name variant; nullptr: names no parameters.
    void (*names)(NameWriter& w, int n, int variant);
    // The value at x, n the parameter count (at most 50); nullptr: a plotting
    // style, valued 0.
    double (*value)(const ModelInputs& m, int n, model_functions::Params a, float x);
};

inline constexpr int kCatalogueSize = 35;
extern const std::array<CatalogueRow, kCatalogueSize> kCatalogue;

// The row of a function number; nullptr outside 1..35 (those are "Unused").
inline const CatalogueRow* catalogue_row(int function) {
    if (function < 1 || function > kCatalogueSize) return nullptr;
    return &kCatalogue[static_cast<std::size_t>(function - 1)];
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
