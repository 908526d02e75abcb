// The element and isotope tables against the published values, and the
// four modes of the element lookup with their messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>

#include "io/output_sink.h"
#include "physics/element_table.h"

namespace tarva {
namespace {

struct Lookup {
    std::ostringstream text;
    OutputSink out{text};
    FixedText<2> symbol;
    int z = 0;
    float weight = 0.0f;

    std::string run(std::string_view sym, int z_in = 0, float weight_in = 0.0f) {
        text.str("");
        symbol = sym;
        z = z_in;
        weight = weight_in;
        element_lookup(out, symbol, z, weight);
        return text.str();
    }
};

TEST(ElementTable, SymbolsAndWeightsAsPublished) {
    EXPECT_EQ(kElementSymbols.size(), 206u);
    struct Entry {
        int z;
        const char* symbol;
        float weight;
    };
    const Entry sample[] = {{1, "H ", 1.008f},    {2, "He", 4.0026f},    {6, "C ", 12.0112f}, {14, "Si", 28.086f},
                            {22, "Ti", 47.9f},    {27, "Co", 58.9332f},  {28, "Ni", 58.71f},  {39, "Y ", 88.905f},
                            {43, "Tc", 97.0f},    {53, "I ", 126.9044f}, {52, "Te", 127.6f},  {74, "W ", 183.85f},
                            {79, "Au", 196.967f}, {92, "U ", 238.0f},    {97, "Bk", 247.0f},  {101, "Md", 256.0f},
                            {102, "No", 254.0f},  {103, "Lw", 257.0f}};
    for (const Entry& e : sample) {
        EXPECT_EQ(element_symbol(e.z), e.symbol) << e.z;
        EXPECT_EQ(atomic_weight(e.z), e.weight) << e.z;
    }
    // Every symbol: a capital, then a small letter or a blank.
    for (int z = 1; z <= kElementCount; ++z) {
        const std::string_view sym = element_symbol(z);
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(sym[0]))) << z;
        EXPECT_TRUE(sym[1] == ' ' || std::islower(static_cast<unsigned char>(sym[1]))) << z;
    }
}

TEST(ElementTable, EveryIsotopeEntry) {
    struct Entry {
        const char* symbol;
        int mass_number;
        double mass;
    };
    const Entry all[] = {{"H", 1, 1.007825},    {"H", 2, 2.014102},   {"H", 3, 3.016050},   {"He", 3, 3.016030},
                         {"He", 4, 4.002603},   {"Li", 6, 6.015125},  {"Li", 7, 7.016004},  {"Be", 9, 9.012186},
                         {"B", 10, 10.012939},  {"B", 11, 11.009305}, {"C", 12, 12.0},      {"C", 13, 13.003354},
                         {"C", 14, 14.0},       {"N", 14, 14.003074}, {"N", 15, 15.000108}, {"O", 16, 15.994915},
                         {"O", 17, 16.999133},  {"O", 18, 17.999160}, {"F", 19, 18.998405}, {"Ne", 20, 19.992440},
                         {"Ne", 21, 20.993849}, {"Ne", 22, 21.991385}};
    for (const Entry& e : all) {
        int a = e.mass_number;
        double mass = 0.0;
        isotope_mass(e.symbol, a, mass);
        EXPECT_EQ(a, e.mass_number) << e.symbol << e.mass_number;
        EXPECT_NEAR(mass, e.mass, 1e-9) << e.symbol << e.mass_number;
    }
    // Not listed: an empty place, a mass number not in the table, Z > 10.
    for (auto [sym, number] : {std::pair{"Be", 0}, std::pair{"He", 5}, std::pair{"Na", 23}, std::pair{"Zz", 1}}) {
        int a = number;
        double mass = 7.0;
        isotope_mass(sym, a, mass);
        EXPECT_EQ(a, -1) << sym;
        EXPECT_EQ(mass, 0.0) << sym;
    }
}

TEST(ElementLookup, BySymbolNormalisesWhatWasTyped) {
    Lookup t;
    EXPECT_EQ(t.run("he"), "");
    EXPECT_EQ(t.symbol, "He");
    EXPECT_EQ(t.z, 2);
    EXPECT_EQ(t.weight, 4.0026f);
    t.run("C1"); // a digit in the second place is dropped
    EXPECT_EQ(t.z, 6);
    t.run(" c"); // a letter alone in the second place moves to the first
    EXPECT_EQ(t.symbol, "C");
    EXPECT_EQ(t.z, 6);
    t.run("LW");
    EXPECT_EQ(t.z, 103);
    EXPECT_EQ(t.weight, 257.0f);
}

TEST(ElementLookup, UnknownSymbolWarnsAndClears) {
    Lookup t;
    EXPECT_EQ(t.run("xx", 5, 9.0f), " WARNING: Xx is not a known element symbol.\n");
    EXPECT_EQ(t.z, 0);
    EXPECT_EQ(t.weight, 0.0f);
}

TEST(ElementLookup, ByAtomicNumber) {
    Lookup t;
    EXPECT_EQ(t.run("  ", 79), "");
    EXPECT_EQ(t.symbol, "Au");
    EXPECT_EQ(t.weight, 196.967f);
    EXPECT_EQ(t.run("  ", 0), " Error in Atomic number:     0\n");
    EXPECT_EQ(t.run("  ", -12), " Error in Atomic number:   -12\n");
    EXPECT_EQ(t.run("  ", 104, 5.0f), "");
    EXPECT_EQ(t.symbol, "");
    EXPECT_EQ(t.weight, 0.0f);
}

TEST(ElementLookup, SilentlyByWeight) {
    Lookup t;
    EXPECT_EQ(t.run("##", 0, 12.0f), "");
    EXPECT_EQ(t.symbol, "C");
    EXPECT_EQ(t.z, 6);
    EXPECT_EQ(t.weight, 12.0112f);
    t.run("##", 0, 58.8f); // nearer Ni (58.71) than Co (58.9332)
    EXPECT_EQ(t.z, 28);
    // Equal distances: the later element wins (Cm and Bk, No and Es).
    t.run("##", 0, 247.0f);
    EXPECT_EQ(t.z, 97);
    t.run("##", 0, 254.0f);
    EXPECT_EQ(t.z, 102);
    t.run("# ", 0, 257.0f);
    EXPECT_EQ(t.z, 103);
    for (float impossible : {0.0f, -3.0f, 257.5f}) {
        EXPECT_EQ(t.run("##", 9, impossible), "");
        EXPECT_EQ(t.symbol, "");
        EXPECT_EQ(t.z, 0);
    }
}

TEST(ElementLookup, QuestionMarkShowsTheCandidates) {
    Lookup t;
    const std::string pad20(21, ' ');
    EXPECT_EQ(t.run("? ", 0, 58.8f),
              "             Unknown element of atomic weight  58.800 could be:\n" + pad20 +
                  "  Z      At. Wt.    (  error   )\n" + pad20 + " 26 Fe    55.847    ( -2.952999)\n" + pad20 +
                  " 27 Co    58.933    (  0.133202)\n" + std::string(17, ' ') +
                  ">>>  28 Ni    58.710    ( -0.090000) <<< Best match\n" + pad20 +
                  " 29 Cu    63.546    (  4.746002)\n" + pad20 + " 30 Zn    65.370    (  6.570004)\n");
    EXPECT_EQ(t.z, 28);
    // At the ends of the table the list is cut.
    const std::string first = t.run("?", 0, 1.0f);
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 2 + 3);
    EXPECT_EQ(t.run(" ?", 0, 300.0f), " The unknown mass is unreasonably heavy.\n");
    EXPECT_EQ(t.z, 0);
    EXPECT_EQ(t.run("??", 0, 0.0f), " The unknown mass is unreasonably light.\n");
}

TEST(ElementLookup, ListsTheWholeTable) {
    Lookup t;
    const std::string list = t.run("..");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 103);
    EXPECT_EQ(list.substr(0, list.find('\n') + 1), "   1  H     1.0080    \n");
    EXPECT_NE(list.find("\n  53  I     126.90    \n"), std::string::npos);
    EXPECT_EQ(list.substr(list.size() - 23), " 103  Lw    257.00    \n");
}

} // namespace
} // namespace tarva
