// Tables that the interpolating model functions read (spline coefficients).
#pragma once

namespace tarva {

struct ModelTables {};

} // namespace tarva
