// Command-line preparation, splitting and table lookup.
#include <gtest/gtest.h>

#include <sstream>

#include "interpreter/command_table.h"
#include "interpreter/interpreter.h"
#include "session/session.h"

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
    EXPECT_EQ(keys, 73);
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
