// SPECIA's pieces: the point transforms chosen by the qualifier, the grid
// shadow and multipole evaluations, and the three file writers chosen by
// the first letter of the argument text.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_context.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva::special {

// The transforms of the qualifier table (1-9, A-G, L, N, P, Q, R, X).
// False when the qualifier is none of them.
bool run_point_transform(Session& s, CommandContext& ctx);

// H, I, J and K: grid shadow periods (pairs, alternative), multipole
// scaling and multiplet grid shadow.
void grid_shadow_pairs(Session& s);
void grid_shadow_alternative(Session& s);
void multipole_scaling(Session& s);
void multiplet_grid_shadow(Session& s);

// Argument text F: a table of x, F(x); G and H: a data file of the data or
// of the function at the data points.
void write_function_table(Session& s, const CommandContext& ctx);
void write_data_file(Session& s, char which);

// ---- shared helpers --------------------------------------------------

// Asks until the line gives values.size() numbers in free format; echoes
// them while a macro runs (unless `echo` is off). False when the input ended.
bool ask_numbers(Session& s, std::string_view prompt, std::span<double> values, bool echo = true);

// One character of the answer, upper-cased (blank for an empty answer);
// nullopt when the input ended.
std::optional<char> ask_letter(Session& s, std::string_view prompt);

// The current model at each data point, all computed before any point is
// changed (interpolating functions read the data set themselves).
std::vector<double> model_at_points(Session& s);

// Refused when fewer than `least` points are there; says so.
bool enough_points(Session& s, int least);

// Label text cut to the 100 columns of a label.
std::string label_text(std::string_view text);

} // namespace tarva::special
