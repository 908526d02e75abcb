// The routines that carry out the commands of the command table
// (command_table.cpp), each in the folder of its family under commands/.
#pragma once

#include "commands/command_context.h"
#include "session/session.h"

namespace tarva {

void cmd_param(Session& s, CommandContext& ctx);
void cmd_fit(Session& s, CommandContext& ctx);
// FIT/C (commands/fit/converging_fit_command.cpp).
void cmd_fit_converging(Session& s, CommandContext& ctx);
void cmd_exit(Session& s, CommandContext& ctx);
void cmd_save(Session& s, CommandContext& ctx);
void cmd_menu(Session& s, CommandContext& ctx);
void cmd_help(Session& s, CommandContext& ctx);
void cmd_data(Session& s, CommandContext& ctx);
void cmd_chi(Session& s, CommandContext& ctx);
void cmd_funct(Session& s, CommandContext& ctx);
void cmd_subplot(Session& s, CommandContext& ctx);
void cmd_npar(Session& s, CommandContext& ctx);
void cmd_special(Session& s, CommandContext& ctx);
void cmd_dest(Session& s, CommandContext& ctx);
void cmd_log(Session& s, CommandContext& ctx);
void cmd_clear(Session& s, CommandContext& ctx);
void cmd_fval(Session& s, CommandContext& ctx);
void cmd_mask(Session& s, CommandContext& ctx);
void cmd_integ(Session& s, CommandContext& ctx);
void cmd_deriv(Session& s, CommandContext& ctx);
void cmd_xmodif(Session& s, CommandContext& ctx);
void cmd_ymodif(Session& s, CommandContext& ctx);
void cmd_modify(Session& s, CommandContext& ctx);
void cmd_print(Session& s, CommandContext& ctx);
void cmd_bump(Session& s, CommandContext& ctx);
void cmd_mode(Session& s, CommandContext& ctx);
void cmd_period(Session& s, CommandContext& ctx);
void cmd_ft(Session& s, CommandContext& ctx);
void cmd_regul(Session& s, CommandContext& ctx);
void cmd_correl(Session& s, CommandContext& ctx);
void cmd_at(Session& s, CommandContext& ctx);
void cmd_font(Session& s, CommandContext& ctx);
void cmd_spline(Session& s, CommandContext& ctx);
void cmd_error(Session& s, CommandContext& ctx);
void cmd_draw(Session& s, CommandContext& ctx);
void cmd_agp(Session& s, CommandContext& ctx);
void cmd_average(Session& s, CommandContext& ctx);
void cmd_swap(Session& s, CommandContext& ctx);
void cmd_make(Session& s, CommandContext& ctx);
void cmd_caption(Session& s, CommandContext& ctx);
void cmd_label(Session& s, CommandContext& ctx);
void cmd_colour(Session& s, CommandContext& ctx);
void cmd_order(Session& s, CommandContext& ctx);
void cmd_values(Session& s, CommandContext& ctx);
void cmd_insert(Session& s, CommandContext& ctx);
void cmd_comment(Session& s, CommandContext& ctx);
void cmd_bg(Session& s, CommandContext& ctx);
void cmd_arc(Session& s, CommandContext& ctx);
void cmd_echo(Session& s, CommandContext& ctx);
void cmd_hold(Session& s, CommandContext& ctx);
void cmd_mval(Session& s, CommandContext& ctx);
void cmd_out(Session& s, CommandContext& ctx);
void cmd_mca(Session& s, CommandContext& ctx);
void cmd_rotate(Session& s, CommandContext& ctx);
void cmd_shell(Session& s, CommandContext& ctx);
void cmd_rewind(Session& s, CommandContext& ctx);
void cmd_file_query(Session& s, CommandContext& ctx);
void cmd_mass(Session& s, CommandContext& ctx);
void cmd_stipple(Session& s, CommandContext& ctx);
void cmd_hatch(Session& s, CommandContext& ctx);
void cmd_fuzz(Session& s, CommandContext& ctx);
void cmd_terminal(Session& s, CommandContext& ctx);
void cmd_pha(Session& s, CommandContext& ctx);
void cmd_thick(Session& s, CommandContext& ctx);
void cmd_norm(Session& s, CommandContext& ctx);
void cmd_eliminate(Session& s, CommandContext& ctx);
void cmd_define(Session& s, CommandContext& ctx);
void cmd_xray(Session& s, CommandContext& ctx);
void cmd_close(Session& s, CommandContext& ctx);
void cmd_load(Session& s, CommandContext& ctx);
void cmd_macro(Session& s, CommandContext& ctx);
// IMPORT (commands/mca/import_command.cpp), the first word after the described table.
void cmd_import(Session& s, CommandContext& ctx);
// PEAKS (commands/physics/peaks_command.cpp), the second.
void cmd_peaks(Session& s, CommandContext& ctx);

} // namespace tarva
