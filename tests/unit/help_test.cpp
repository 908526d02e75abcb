// On-line help: MENU, keyword sections with paging, the keyword list, the
// function help entries, and the help files shipped in lib/.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "commands/command_table.h"
#include "commands/control/help.h"
#include "interpreter/interpreter.h"
#include "models/catalogue.h"
#include "session/session.h"
#include "temp_dir.h"
#include "text/fixed_text.h"

namespace tarva {
namespace {

namespace fs = std::filesystem;

class HelpTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream f(path(name), std::ios::binary);
        f << text;
        return path(name);
    }
    // Runs command lines with the given help files; returns the output.
    std::string run(const std::string& keyboard, const std::string& help, const std::string& fun = "") const {
        std::istringstream in(keyboard);
        std::ostringstream out;
        Session s(in, out);
        s.interp.help_file = help;
        s.interp.function_help_file = fun;
        run_loop(s);
        return out.str();
    }
    // The help routine alone, answers to its pauses from `answers`.
    std::string section(const std::string& help, std::string_view topic, bool list = false,
                        const std::string& answers = "") const {
        std::istringstream in(answers);
        std::ostringstream out;
        Session s(in, out);
        show_help_file(s, list, help, topic);
        return out.str();
    }

    testing_support::TempDir scratch_;
    fs::path dir_{scratch_.path()};
};

const char* const kSmallHelp = "intro text belongs to no section\n"
                               "#HELP\n"
                               "Type HELP and a topic.\n"
                               "#FIT FITTING\n"
                               "#*LSQ\n"
                               "Fit the function.\n"
                               "\n"
                               "   Indented line.   \n"
                               "#fixed*mask\n"
                               "Fixed parameters.\n"
                               "#XFIT\n"
                               "Not a prefix match.\n";

TEST_F(HelpTest, TopicMatchesKeywordPrefixesInEverySection) {
    std::string help = write("t.hlp", kSmallHelp);
    EXPECT_EQ(section(help, "fi    "), " Fit the function.\n\n    Indented line.\n Fixed parameters.\n\n");
    // A keyword after "*" matches; a keyword line of a group is not shown.
    EXPECT_EQ(section(help, "MASK  "), " Fixed parameters.\n\n");
    EXPECT_EQ(section(help, "lsq"), " Fit the function.\n\n    Indented line.\n\n");
    EXPECT_EQ(section(help, "FITTIN"), " Fit the function.\n\n    Indented line.\n\n");
    EXPECT_EQ(section(help, "zz    "), "\n\n No help information available on ZZ\n\n\n");
}

TEST_F(HelpTest, HelpCommandTopicAndDefault) {
    std::string help = write("t.hlp", kSmallHelp);
    EXPECT_EQ(run("help\n", help), " fit>  Type HELP and a topic.\n\n fit> ");
    EXPECT_EQ(run("h xfit\n", help), " fit>  Not a prefix match.\n\n fit> ");
    // Only columns 8 to 13 are the topic.
    EXPECT_EQ(run("help fittingxx\n", help), " fit>  Fit the function.\n\n    Indented line.\n\n fit> ");
    // The qualifier selects the keyword list with either word.
    std::string missing = path("none.hlp");
    EXPECT_EQ(run("help\n", missing),
              " fit>  No help information available,\n " + missing + " does not exist.\n fit> ");
    EXPECT_EQ(run("help\n", dir_.string()), " fit>  Error opening " + dir_.string() + "\n fit> ");
}

TEST_F(HelpTest, KeywordListSixToALine) {
    std::string text;
    for (const char* k : {"ALPHA", "BETA*B", "GAMMA X", "DELTA", "EPSILONLONGNAME", "ZETA", "ETA"}) {
        text += std::string("#") + k + "\ntext\n";
        if (std::string(k) == "BETA*B") text += "#LISTEDTOO\nmore\n";
    }
    text.insert(0, "#FIRST\n#SECONDOFGROUP\nfirst text\n");
    std::string help = write("k.hlp", text);
    const std::string expected = std::string("\n List of keywords for help information:\n\n") +
                                 "  FIRST       ALPHA       BETA        LISTEDTOO   GAMMA       DELTA     \n" +
                                 "  EPSILONLON  ZETA        ETA        \n\n";
    EXPECT_EQ(section(help, "HELP  ", true), expected);
    EXPECT_EQ(run("help/b\n", help), " fit> \n   Further help is available on,\n\n" + expected + " fit> ");
}

TEST_F(HelpTest, LongSectionsPause) {
    std::string text = "#LONG\n";
    for (int i = 1; i <= 45; ++i) text += "line " + std::to_string(i) + "\n";
    text += "#LONGER\nsecond section\n";
    std::string help = write("l.hlp", text);
    std::string pause = " Type RETURN for more...";
    // "q" at the first pause ends the help at once.
    std::string out = section(help, "LONG", false, "q\n");
    EXPECT_NE(out.find(" line 20\n" + pause), std::string::npos);
    EXPECT_EQ(out.find("line 21"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - pause.size()), pause);
    // RETURN goes on; both sections are shown, pausing after lines 20 and 40.
    out = section(help, "LONG", false, "\n\n");
    EXPECT_NE(out.find(" line 40\n" + pause + " line 41\n"), std::string::npos);
    EXPECT_NE(out.find(" line 45\n second section\n\n"), std::string::npos);
    // End of input at a pause stops the help as "q" does.
    out = section(help, "LONG", false, "");
    EXPECT_EQ(out.find("line 21"), std::string::npos);
    // Inside a run, "Q" typed at the pause returns to the prompt.
    out = run("help long\nQ\nf?\n", help);
    EXPECT_NE(out.find(pause + " fit>  No data file current"), std::string::npos);
}

TEST_F(HelpTest, OverlongAndBinaryHelpLines) {
    std::string text = "#WIDE\n" + std::string(79, 'a') + "bcdef\n" + std::string("\x01\xff\0text\n", 8) + "#" +
                       std::string(200, 'W') + "\nunder wide\n";
    std::string help = write("w.hlp", text);
    std::string out = section(help, "WIDE");
    EXPECT_EQ(out.substr(0, 82), " " + std::string(79, 'a') + "b\n");
    // The long keyword line begins a section of its own.
    EXPECT_EQ(out.find("under wide"), std::string::npos);
    std::string list = section(help, "", true);
    EXPECT_NE(list.find("  WIDE        WWWWWWWWWW \n"), std::string::npos);
    // No keyword lines at all: nothing matches.
    std::string plain = write("p.hlp", "just text\nmore\n");
    EXPECT_EQ(section(plain, "HELP"), "\n\n No help information available on HELP\n\n\n");
}

TEST_F(HelpTest, FunctionEntries) {
    std::string fun = write("f.hlp", "header line\n05 Gaussian\n   height, centre\n5 x\n6  Lorentzian\n   width\n");
    std::string none = write("h.hlp", "");
    std::string out = run("help/f 5\n", none, fun);
    EXPECT_EQ(out, " fit> \n " + pad("05 Gaussian", 80) + "\n " + pad("   height, centre", 80) + "\n " +
                       pad("5 x", 80) + "\n fit> ");
    out = run("menu/f 6\n", none, fun);
    EXPECT_EQ(out, " fit> \n " + pad("6  Lorentzian", 80) + "\n " + pad("   width", 80) + "\n fit> ");
    const std::string undocumented = "\n\n No documentation exists for this function.\n\n"
                                     " When you figure it out, please go to the\n"
                                     " file QVFUN.HLP and include a few words on\n"
                                     " its usage and meaning of the variables.\n\n";
    EXPECT_EQ(run("help/f 7\n", none, fun), " fit> " + undocumented + " fit> ");
    const std::string range = "\n Function must be between 1 and 50.\n\n";
    EXPECT_EQ(run("help/f 0\n", none, fun), " fit> " + range + " fit> ");
    EXPECT_EQ(run("help/f 51\n", none, fun), " fit> " + range + " fit> ");
    EXPECT_EQ(run("help/f 50.4\n", none, fun), " fit> " + undocumented + " fit> ");
    std::string missing = "/nonexistent/q.hlp";
    EXPECT_EQ(run("help/f 5\n", none, missing), " fit> \n Can't find " + pad(missing, 30) +
                                                    "\n\n Either rename the function help file to match\n"
                                                    " or modify the filename in QVFUNHLP and\n"
                                                    " recomplile it, replace it in the library\n"
                                                    " TARVA.OLB and relink TARVA.\n\n fit> ");
}

TEST_F(HelpTest, ReplacingTheFileNames) {
    std::string other = write("o.hlp", "#HELP\nfrom the other file\n");
    std::string fun = write("g.hlp", "12 twelve\n");
    std::istringstream in("help/s " + other + "\nhelp\nhelp/t " + fun + "\nhelp/f 12\n");
    std::ostringstream out;
    Session s(in, out);
    s.interp.help_file = "/nonexistent";
    s.interp.function_help_file = "/nonexistent";
    run_loop(s);
    ASSERT_LE(other.size(), 33u);
    EXPECT_EQ(s.interp.help_file, other);
    EXPECT_EQ(s.interp.function_help_file, fun);
    EXPECT_NE(out.str().find(" from the other file\n"), std::string::npos);
    EXPECT_NE(out.str().find(" 12 twelve"), std::string::npos);
    // HELP/T keeps 30 characters of the name.
    std::istringstream in2("help/t /aaaaaaaaaabbbbbbbbbbccccccccccdddd\n");
    Session s2(in2, out);
    run_loop(s2);
    EXPECT_EQ(s2.interp.function_help_file, "/aaaaaaaaaabbbbbbbbbbccccccccc");
}

TEST_F(HelpTest, MenuListsTheTableEightToALine) {
    std::string out = run("menu\n", "");
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, " fit> ");
    std::getline(lines, line);
    EXPECT_EQ(line, " Commands are:");
    const auto& table = command_table();
    for (int row = 0; row < 10; ++row) {
        std::getline(lines, line);
        std::string expected = " ";
        for (int k = 0; k < 8; ++k) expected += pad(table[static_cast<std::size_t>(row * 8 + k)].key, 6) + "   ";
        EXPECT_EQ(line, expected);
    }
    EXPECT_EQ(line, " MACRO    IMPORT   PEAKS    " + std::string(45, ' '));
    std::getline(lines, line);
    EXPECT_EQ(line, "");
    std::getline(lines, line);
    EXPECT_EQ(line, " fit> ");
    // M alone is MENU; HELP/M is still HELP (only F, S, T are shared).
    EXPECT_EQ(run("m\n", "").substr(0, 21), " fit> \n Commands are:");
}

// The shipped help files: every command key has a section, every function
// of the catalogue an entry, and the layouts hold.
class ShippedHelp : public ::testing::Test {
protected:
    static std::string lib(const char* name) { return std::string(TARVA_SOURCE_DIR) + "/lib/" + name; }
};

TEST_F(ShippedHelp, EveryCommandHasASection) {
    const std::string help = lib("tarva.hlp");
    for (const auto& e : command_table()) {
        std::string key(e.key);
        if (key.empty()) continue;
        std::istringstream in;
        std::ostringstream out;
        Session s(in, out);
        show_help_file(s, false, help, pad(key, 6));
        EXPECT_EQ(out.str().find("No help information available"), std::string::npos) << key;
        EXPECT_GT(out.str().size(), 40u) << key;
    }
    for (const char* topic : {"HELP", "MACROS", "DATAFI", "MODES", "DEVICE", "MARKER"}) {
        std::istringstream in;
        std::ostringstream out;
        Session s(in, out);
        show_help_file(s, false, help, pad(topic, 6));
        EXPECT_EQ(out.str().find("No help information available"), std::string::npos) << topic;
    }
}

TEST_F(ShippedHelp, FilesKeepTheirLayout) {
    for (const char* name : {"tarva.hlp", "qvfun.hlp"}) {
        std::ifstream f(lib(name));
        ASSERT_TRUE(f.is_open()) << name;
        std::string line;
        int n = 0;
        while (std::getline(f, line)) {
            ++n;
            EXPECT_LE(line.size(), 80u) << name << " line " << n;
            EXPECT_EQ(line.find('\t'), std::string::npos) << name << " line " << n;
        }
    }
}

TEST_F(ShippedHelp, EveryLibraryFunctionHasAnEntry) {
    for (const CatalogueRow& row : kCatalogue) {
        const int n = row.number;
        std::istringstream in;
        std::ostringstream out;
        Session s(in, out);
        s.interp.function_help_file = lib("qvfun.hlp");
        show_function_help(s, n);
        std::string text = out.str();
        EXPECT_EQ(text.find("No documentation exists"), std::string::npos) << n;
        // The entry begins with its own two-digit number.
        char head[4];
        std::snprintf(head, sizeof head, "%02d", n);
        EXPECT_EQ(text.substr(0, 4), "\n " + std::string(head)) << n;
    }
}

} // namespace
} // namespace tarva
