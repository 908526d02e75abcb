// Fixed-length text helpers and the dialogue readers.
#include <gtest/gtest.h>

#include <sstream>

#include "plot/screen.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/fixed_text.h"

namespace tarva {
namespace {

TEST(FixedTextHelpers, LengthCaseAndRounding) {
    EXPECT_EQ(last_nonblank("ab\t  "), 2u);
    EXPECT_EQ(last_nonblank("   "), 0u);
    EXPECT_TRUE(text_equal("abc", "abc   "));
    EXPECT_FALSE(text_equal("abc", " abc"));
    std::string t = "aZ9.\xe9x";
    to_upper(t);
    EXPECT_EQ(t, "AZ9.\xe9X");
    to_lower(t);
    EXPECT_EQ(t, "az9.\xe9x");
    EXPECT_EQ(round_nearest(2.5), 3);
    EXPECT_EQ(round_nearest(-2.7), -2);
    EXPECT_EQ(round_nearest(-0.4), 0);
    EXPECT_EQ(round_nearest(1e30), 2147483647);
    FixedText<10> f("toolongtextvalue");
    EXPECT_EQ(f.view(), "toolongtex");
    f = "ab";
    EXPECT_EQ(f.view(), "ab        ");
    EXPECT_TRUE(f == "ab");
}

TEST(FixedTextHelpers, LeftJustify) {
    std::string t = "   abc  ";
    EXPECT_FALSE(left_justify(t));
    EXPECT_EQ(t, "abc     ");
    // A TAB after the last character moves with the text.
    t = "  ab\t  ";
    left_justify(t);
    EXPECT_EQ(t, "ab\t    ");
    std::string blank = "     ";
    left_justify(blank);
    EXPECT_EQ(blank, "     ");
    std::string longline = "  " + std::string(250, 'x');
    EXPECT_TRUE(left_justify(longline));
    EXPECT_EQ(longline.substr(0, 198), std::string(198, 'x'));
    EXPECT_EQ(longline.substr(198, 2), "  ");
}

TEST(NumberPair, ParseRules) {
    double a = 1, b = 2;
    EXPECT_EQ(parse_number_pair("", a, b), kPairOk);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(parse_number_pair("3", a, b), kPairOk);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 2);
    a = 1;
    EXPECT_EQ(parse_number_pair(",3", a, b), kPairBad);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(parse_number_pair("3 x", a, b), kPairBad);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(parse_number_pair("  4 , 5", a, b), kPairOk);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 5);
    EXPECT_EQ(parse_number_pair("6,,7", a, b), kPairOk);
    EXPECT_EQ(a, 6);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(parse_number_pair("1e2 -2.5D-1", a, b), kPairOk);
    EXPECT_EQ(a, 100);
    EXPECT_EQ(b, -0.25);
    // A number is read in a 20-column field: only its first 20 characters.
    EXPECT_EQ(parse_number_pair("1.000000000000000000999 123456789012345678901234", a, b), kPairOk);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 12345678901234567890.0);
}

TEST(Dialogue, MacroAnswersAreEchoedAndEndOfInputEndsTheMacro) {
    std::istringstream keyboard("");
    std::ostringstream terminal;
    Session s(keyboard, terminal);
    char path[] = "/tmp/tarva_dialogue_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string body = "abc\n1 2\nx\n7\n+30 40\n,5\n-1e-7\n";
    ASSERT_EQ(write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
    close(fd);
    ASSERT_TRUE(s.input().push_macro(path));
    auto text = ask_text(s, "Name > ", 5);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "abc  ");
    double a = 0, b = 0;
    EXPECT_EQ(read_number_pair(s, a, b), kPairOk);
    EXPECT_EQ(b, 2);
    // "x" does not read; the prompt is repeated and 7 is taken.
    auto v = ask_real(s, "V > ");
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, 7);
    // ARC's pairs are echoed as the values read, on the prompt line.
    EXPECT_TRUE(ask_number_pair(s, "Arc start coords > ", a, b, PairEcho::G13_5));
    EXPECT_EQ(a, 30);
    EXPECT_EQ(b, 40);
    EXPECT_TRUE(ask_number_pair(s, "Arc finish coords > ", a, b, PairEcho::G13_5));
    EXPECT_EQ(a, -1e-7);
    EXPECT_EQ(terminal.str(), " Name >  abc\n+1 2\n V >  V >     7.0000    \n"
                              " Arc start coords >    30.000       40.000    \n"
                              " Arc finish coords >  Arc finish coords >  -1.00000E-07   40.000    \n");
    // The macro is exhausted: the prompt gives up and the macro is ended.
    EXPECT_FALSE(ask_real(s, "W > "));
    EXPECT_FALSE(s.macro_running());
    EXPECT_FALSE(s.interp.exit_requested);
    // At the keyboard the end of input asks the program to end.
    EXPECT_FALSE(ask_text(s, "K > ", 10));
    EXPECT_TRUE(s.interp.exit_requested);
    unlink(path);
}

// The one prompt loop: the prompt again before each answer until one reads,
// and at the end of the keyboard input nothing, with the end of the program
// requested.
TEST(Dialogue, PromptLoopAsksAgainUntilTheAnswerReads) {
    std::istringstream keyboard("x\n\n7\n");
    std::ostringstream terminal;
    Session s(keyboard, terminal);
    int parsed = 0;
    auto digit = [&](const std::string& line) -> std::optional<int> {
        ++parsed;
        if (line.size() == 1 && line[0] >= '0' && line[0] <= '9') return line[0] - '0';
        return std::nullopt;
    };
    EXPECT_EQ(ask_until(s, "Digit > ", digit), std::optional<int>(7));
    EXPECT_EQ(parsed, 3);
    EXPECT_EQ(terminal.str(), " Digit >  Digit >  Digit > ");
    EXPECT_FALSE(s.interp.exit_requested);
    EXPECT_EQ(ask_until(s, "Digit > ", digit), std::nullopt);
    EXPECT_EQ(parsed, 3);
    EXPECT_TRUE(s.interp.exit_requested);
}

TEST(Dialogue, StampsAndVideo) {
    EXPECT_EQ(date_stamp().size(), 10u);
    std::string t = time_stamp();
    ASSERT_EQ(t.size(), 8u);
    EXPECT_EQ(t[2], ':');
    EXPECT_EQ(t[5], ':');
    std::istringstream in;
    std::ostringstream out;
    Session s(in, out);
    EXPECT_EQ(video_attribute(s, 'R', true), "    ");
    s.graphics.terminal_type = 7;
    EXPECT_EQ(video_attribute(s, 'r', false), std::string("\x1b\x1e\x45\0", 4));
    s.graphics.terminal_type = 3;
    EXPECT_EQ(video_attribute(s, 'R', true), "\x1b[7m");
    EXPECT_EQ(video_attribute(s, 'D', false), "\x1b[0m");
}

TEST(Dialogue, ScreenModeRepeatsRememberedLetter) {
    std::istringstream in;
    std::ostringstream out;
    Session s(in, out);
    screen_mode(s, ' ');
    EXPECT_EQ(out.str(), "");
    screen_mode(s, 'h');
    screen_mode(s, ' ');
    EXPECT_EQ(out.str(), " \x1b[2J\n \x1b[1;1H\n \x1b[2J\n \x1b[1;1H\n");
    out.str("");
    screen_mode(s, 'C');
    screen_mode(s, ' ');
    EXPECT_EQ(out.str(), "");
}

} // namespace
} // namespace tarva
