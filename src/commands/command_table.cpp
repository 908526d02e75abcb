#include "commands/command_table.h"

#include "commands/commands.h"

namespace tarva {

namespace {
constexpr std::array<CommandEntry, kCommandCount> kTable{{
    {"PARAM", cmd_param},
    {"FIT", cmd_fit},
    {"EXIT", cmd_exit},
    {"SAVE", cmd_save},
    {"MENU", cmd_menu},
    {"HELP", cmd_help},
    {"DATA", cmd_data},
    {"CHI", cmd_chi},
    {"FUNCT", cmd_funct},
    {"SUBPLO", cmd_subplot},
    {"NVAR", cmd_npar},
    {"NPAR", cmd_npar},
    {"SPECIA", cmd_special},
    {"DEST", cmd_dest},
    {"LOG", cmd_log},
    {"CLEAR", cmd_clear},
    {"FVAL", cmd_fval},
    {"MASK", cmd_mask},
    {"INTEG", cmd_integ},
    {"DERIV", cmd_deriv},
    {"XMODIF", cmd_xmodif},
    {"YMODIF", cmd_ymodif},
    {"MODIFY", cmd_modify},
    {"PRINT", cmd_print},
    {"BUMP", cmd_bump},
    {"MODE", cmd_mode},
    {"PERIOD", cmd_period},
    {"FT", cmd_ft},
    {"REGUL", cmd_regul},
    {"CORREL", cmd_correl},
    {"@", cmd_at},
    {"FONT", cmd_font},
    {"SPLINE", cmd_spline},
    {"ERROR", cmd_error},
    {"DRAW", cmd_draw},
    {"AGP", cmd_agp},
    {"AVERAG", cmd_average},
    {"SWAP", cmd_swap},
    {"MAKE", cmd_make},
    {"CAPTIO", cmd_caption},
    {"LABEL", cmd_label},
    {"COLOUR", cmd_colour},
    {"ORDER", cmd_order},
    {"VALUES", cmd_values},
    {"INSERT", cmd_insert},
    {"!", cmd_comment},
    {"BG", cmd_bg},
    {"ARC", cmd_arc},
    {"ECHO", cmd_echo},
    {"ALOG", cmd_log},
    {"HOLD", cmd_hold},
    {"MVAL", cmd_mval},
    {"OUT", cmd_out},
    {"MCA", cmd_mca},
    {"ROTATE", cmd_rotate},
    {"$", cmd_shell},
    {"REWIND", cmd_rewind},
    {"F?", cmd_file_query},
    {"MASS", cmd_mass},
    {"STIPPL", cmd_stipple},
    {"HATCH", cmd_hatch},
    {"FUZZ", cmd_fuzz},
    {"TERMIN", cmd_terminal},
    {"PHA", cmd_pha},
    {"PHA2", cmd_pha},
    {"THICK", cmd_thick},
    {"NORM", cmd_norm},
    {"ELIMIN", cmd_eliminate},
    {"DEFINE", cmd_define},
    {"XRAY", cmd_xray},
    {"CLOSE", cmd_close},
    {"LOAD", cmd_load},
    {"MACRO", cmd_macro},
    {"IMPORT", cmd_import},
    {"PEAKS", cmd_peaks},
    {"", nullptr},
    {"", nullptr},
    {"", nullptr},
    {"", nullptr},
    {"", nullptr},
}};
} // namespace

const std::array<CommandEntry, kCommandCount>& command_table() { return kTable; }

const CommandEntry* find_command(std::string_view word) {
    if (word.empty() || word.size() > 6) return nullptr;
    for (const auto& e : kTable) {
        std::string_view key(e.key);
        if (key.empty()) continue;
        if (key.substr(0, std::min(key.size(), word.size())) == word && key.size() >= word.size()) return &e;
    }
    return nullptr;
}

} // namespace tarva
