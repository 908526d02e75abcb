// Command-line preparation, splitting and table lookup.
#include <gtest/gtest.h>

#include <sstream>

#include "commands/command_table.h"
#include "commands/commands.h"
#include "commands/control/control.h"
#include "interpreter/interpreter.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva {
namespace {

struct Parsed {
    std::string line;
    char qualifier;
    double number;
};

Parsed parse(std::string_view text) {
    FixedText<40> line(text);
    char q = '?';
    double n = -1;
    parse_command_line(line, q, n);
    return {line.str(), q, n};
}

TEST(ParseCommandLine, WordQualifierAndNumber) {
    auto p = parse("funct 12");
    EXPECT_EQ(p.line, pad("FUNCT     12.000", 40));
    EXPECT_EQ(p.qualifier, ' ');
    EXPECT_EQ(p.number, 12.0);

    p = parse("log/x");
    EXPECT_EQ(p.line, pad("LOG", 40));
    EXPECT_EQ(p.qualifier, 'X');
    p = parse("LOG/XYZ abc");
    EXPECT_EQ(p.line, pad("LOG    abc", 40));
    EXPECT_EQ(p.qualifier, 'X');
    // A slash after the first blank belongs to the argument.
    p = parse("LOG /X");
    EXPECT_EQ(p.line, pad("LOG    /X", 40));
    EXPECT_EQ(p.qualifier, ' ');
}

TEST(ParseCommandLine, NumbersCarrySinglePrecision) {
    EXPECT_EQ(parse("fval -2.5e1").number, -25.0);
    EXPECT_EQ(parse("fval 2e").number, 2.0);
    EXPECT_EQ(parse("x 0.3").number, static_cast<double>(0.3f));
    EXPECT_NE(parse("x 0.3").number, 0.3);
    EXPECT_EQ(parse("x .5").number, 0.5);
    EXPECT_EQ(parse("x +7").number, 7.0);
    EXPECT_EQ(parse("x 12.").number, 12.0);
    EXPECT_EQ(parse("x 1.5D2").number, 150.0);
}

TEST(ParseCommandLine, ArgumentTextRules) {
    EXPECT_EQ(parse("label -abc").line, pad("LABEL  abc", 40));
    // A plain number is rewritten; a number followed by letters keeps its text.
    EXPECT_EQ(parse("@ 2010").line, pad("@         2010.0", 40));
    EXPECT_EQ(parse("@ 2010run").line, pad("@      2010run", 40));
    auto p = parse("fval 1.5x");
    EXPECT_EQ(p.line, pad("FVAL   1.5x", 40));
    EXPECT_EQ(p.number, 1.5);
    EXPECT_EQ(parse("parameter 5").line.substr(0, 7), "PARAME ");
    EXPECT_EQ(parse("   ").line, pad("", 40));
    EXPECT_EQ(parse("fit 10 extra").line, pad("FIT       10.000", 40));
}

TEST(CommandTable, PrefixMatchingFollowsTableOrder) {
    auto key = [](std::string_view w) {
        const CommandEntry* e = find_command(w);
        return e ? std::string(e->key) : std::string("none");
    };
    EXPECT_EQ(key("P"), "PARAM");
    EXPECT_EQ(key("E"), "EXIT");
    EXPECT_EQ(key("MOD"), "MODIFY");
    EXPECT_EQ(key("MODE"), "MODE");
    EXPECT_EQ(key("PHA"), "PHA");
    EXPECT_EQ(key("PHA2"), "PHA2");
    EXPECT_EQ(key("MAS"), "MASK");
    EXPECT_EQ(key("MASS"), "MASS");
    EXPECT_EQ(key("DER"), "DERIV");
    EXPECT_EQ(key("A"), "AGP");
    EXPECT_EQ(key("O"), "ORDER");
    EXPECT_EQ(key("T"), "TERMIN");
    EXPECT_EQ(key("F?"), "F?");
    EXPECT_EQ(key("EXITS"), "none");
    EXPECT_EQ(key("PARAME"), "none");
    int keys = 0;
    for (const auto& e : command_table()) keys += std::string_view(e.key).empty() ? 0 : 1;
    EXPECT_EQ(keys, 75);
}

// The whole table, in its order, as the user sees it: every key with the
// shortest abbreviation that selects it and the routine it runs. Written out
// by hand from the list of commands, not from the table, so that moving,
// dropping or rewiring an entry fails here. Each abbreviation is typed in
// lower case and goes through the same preparation and lookup as a line at
// the prompt; one character less must select an earlier key instead.
TEST(CommandTable, EveryKeyWithItsShortestAbbreviation) {
    struct Row {
        const char* typed;
        const char* key;
        CommandHandler handler;
    };
    const Row rows[] = {
        {"p", "PARAM", cmd_param},
        {"f", "FIT", cmd_fit},
        {"e", "EXIT", cmd_exit},
        {"s", "SAVE", cmd_save},
        {"m", "MENU", cmd_menu},
        {"h", "HELP", cmd_help},
        {"d", "DATA", cmd_data},
        {"c", "CHI", cmd_chi},
        {"fu", "FUNCT", cmd_funct},
        {"su", "SUBPLO", cmd_subplot},
        {"n", "NVAR", cmd_npar},
        {"np", "NPAR", cmd_npar},
        {"sp", "SPECIA", cmd_special},
        {"de", "DEST", cmd_dest},
        {"l", "LOG", cmd_log},
        {"cl", "CLEAR", cmd_clear},
        {"fv", "FVAL", cmd_fval},
        {"ma", "MASK", cmd_mask},
        {"i", "INTEG", cmd_integ},
        {"der", "DERIV", cmd_deriv},
        {"x", "XMODIF", cmd_xmodif},
        {"y", "YMODIF", cmd_ymodif},
        {"mo", "MODIFY", cmd_modify},
        {"pr", "PRINT", cmd_print},
        {"b", "BUMP", cmd_bump},
        {"mode", "MODE", cmd_mode},
        {"pe", "PERIOD", cmd_period},
        {"ft", "FT", cmd_ft},
        {"r", "REGUL", cmd_regul},
        {"co", "CORREL", cmd_correl},
        {"@", "@", cmd_at},
        {"fo", "FONT", cmd_font},
        {"spl", "SPLINE", cmd_spline},
        {"er", "ERROR", cmd_error},
        {"dr", "DRAW", cmd_draw},
        {"a", "AGP", cmd_agp},
        {"av", "AVERAG", cmd_average},
        {"sw", "SWAP", cmd_swap},
        {"mak", "MAKE", cmd_make},
        {"ca", "CAPTIO", cmd_caption},
        {"la", "LABEL", cmd_label},
        {"col", "COLOUR", cmd_colour},
        {"o", "ORDER", cmd_order},
        {"v", "VALUES", cmd_values},
        {"ins", "INSERT", cmd_insert},
        {"!", "!", cmd_comment},
        {"bg", "BG", cmd_bg},
        {"ar", "ARC", cmd_arc},
        {"ec", "ECHO", cmd_echo},
        {"al", "ALOG", cmd_log},
        {"ho", "HOLD", cmd_hold},
        {"mv", "MVAL", cmd_mval},
        {"ou", "OUT", cmd_out},
        {"mc", "MCA", cmd_mca},
        {"ro", "ROTATE", cmd_rotate},
        {"$", "$", cmd_shell},
        {"rew", "REWIND", cmd_rewind},
        {"f?", "F?", cmd_file_query},
        {"mass", "MASS", cmd_mass},
        {"st", "STIPPL", cmd_stipple},
        {"ha", "HATCH", cmd_hatch},
        {"fuz", "FUZZ", cmd_fuzz},
        {"t", "TERMIN", cmd_terminal},
        {"ph", "PHA", cmd_pha},
        {"pha2", "PHA2", cmd_pha},
        {"th", "THICK", cmd_thick},
        {"no", "NORM", cmd_norm},
        {"el", "ELIMIN", cmd_eliminate},
        {"def", "DEFINE", cmd_define},
        {"xr", "XRAY", cmd_xray},
        {"clo", "CLOSE", cmd_close},
        {"loa", "LOAD", cmd_load},
        {"mac", "MACRO", cmd_macro},
        {"im", "IMPORT", cmd_import},
        {"pea", "PEAKS", cmd_peaks},
    };
    ASSERT_EQ(std::size(rows), 75u);
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    auto lookup = [&](std::string_view typed) {
        CommandContext ctx;
        bool expanded = false;
        prepare_line(s, typed, ctx, expanded);
        parse_command_line(ctx);
        return find_command(ctx.word());
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(r.typed);
        const CommandEntry* e = lookup(r.typed);
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->key, r.key);
        EXPECT_EQ(e->handler, r.handler);
        // The key itself, typed in full, selects the same entry.
        EXPECT_EQ(lookup(r.key), e);
        // The table holds the keys in this order.
        EXPECT_STREQ(command_table()[i].key, r.key);
        std::string shorter(r.typed);
        shorter.pop_back();
        if (shorter.empty()) continue;
        const CommandEntry* earlier = lookup(shorter);
        ASSERT_NE(earlier, nullptr);
        EXPECT_LT(earlier, e) << shorter << " selects " << earlier->key;
    }
    // The spare entries are blank and never match.
    for (std::size_t i = std::size(rows); i < command_table().size(); ++i) EXPECT_STREQ(command_table()[i].key, "");
    EXPECT_EQ(command_table().size(), 80u);
}

class Markers : public ::testing::Test {
protected:
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    std::string expand(std::string text) {
        expand_markers(s, text);
        return std::string(trimmed(text));
    }
};

TEST_F(Markers, EachMarkerAndItsLength) {
    s.data.file_name = "run1.fit";
    s.interp.last_macro = "mac.qvc";
    s.interp.macro_args = "one two";
    s.data.caption = "first word";
    EXPECT_EQ(expand("data #"), "data run1.fit");
    EXPECT_EQ(expand("@ %"), "@ mac.qvc");
    EXPECT_EQ(expand("x ~ y"), "x one two y");
    EXPECT_EQ(expand("$ ls | more"), "$ ls first more");
    EXPECT_EQ(expand("#"), "run1.fit");
}

TEST_F(Markers, BlankTextsAndRepeatedMarkers) {
    EXPECT_EQ(expand("a#b"), "a b");
    s.interp.macro_args = "~#~";
    s.data.file_name = "f";
    // Substituted text is not searched again, so this ends.
    EXPECT_EQ(expand("~~"), "~#~~#~");
    s.data.caption = std::string(60, 'x');
    EXPECT_EQ(expand("|").size(), 40u);
}

TEST_F(Markers, ShellLinesQuoteEachSubstitutedPiece) {
    std::string flags(12, '\0');
    flags.replace(5, 3, 3, '\1');
    EXPECT_EQ(quote_substituted("echo a'b c   ", flags), "echo 'a'\\''b' c");
    EXPECT_EQ(quote_substituted("echo x", std::string(6, '\0')), "echo x");

    // Through the loop: a caption and a file name meant as commands stay
    // arguments; typed shell syntax (the redirection) still works.
    testing_support::TempDir dir;
    s.data.caption = "a;touch${IFS}PWNED";
    s.data.file_name = "q'.f";
    in.str("$ echo |>s\n$ echo #>>s\n$ true;echo too>>s\nexit\n");
    EXPECT_EQ(run_loop(s), 0);
    EXPECT_FALSE(std::filesystem::exists("PWNED"));
    EXPECT_EQ(testing_support::read_file("s"), "a;touch${IFS}PWNED\nq'.f\ntoo\n") << out.str();
}

TEST_F(Markers, PreparedLineInsertsBlankAfterLeadingSigns) {
    CommandContext ctx;
    bool expanded = false;
    prepare_line(s, "   @mymac", ctx, expanded);
    parse_command_line(ctx);
    EXPECT_EQ(ctx.word(), "@");
    EXPECT_EQ(ctx.argument_trimmed(), "mymac");
    prepare_line(s, std::string(50, 'a'), ctx, expanded);
    EXPECT_EQ(ctx.line.view(), std::string(40, 'a'));
    EXPECT_FALSE(expanded);
}

} // namespace
} // namespace tarva
