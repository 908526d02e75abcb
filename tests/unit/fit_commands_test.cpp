// The fit and parameter commands run through the interpreter loop, with the
// answers typed on the input stream.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

#include "interpreter/interpreter.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class FitCommands : public ::testing::Test {
protected:
    // Runs the lines in a fresh session; returns what was written.
    std::string run(const std::string& lines) {
        in = std::make_unique<std::istringstream>(lines);
        out = std::make_unique<std::ostringstream>();
        s = std::make_unique<Session>(*in, *out);
        prepare(*s);
        run_loop(*s);
        return out->str();
    }
    virtual void prepare(Session&) {}

    std::unique_ptr<std::istringstream> in;
    std::unique_ptr<std::ostringstream> out;
    std::unique_ptr<Session> s;
};

TEST_F(FitCommands, ParamPromptsKeepsAndSetsValues) {
    std::string t = run("FUNCT 14\nNPAR 3\nPARAM\n1.5\n\n-2 9\nPARAM 2\n4 9\nPARAM 3\n\nPARAM 4\n");
    EXPECT_EQ(s->fit.value[0], 1.5);
    EXPECT_EQ(s->fit.value[1], 4.0);
    EXPECT_EQ(s->fit.value[2], -2.0);
    EXPECT_THAT(t, HasSubstr(" 1 variable Yo        =    0.00000000000000     >     "));
    EXPECT_THAT(t, HasSubstr(" 2 variable k1        =    0.00000000000000     >     "));
    EXPECT_THAT(t, HasSubstr(" fit>  Parameter out of range,        4\n"));
}

TEST_F(FitCommands, ParamAsksAgainUntilTheAnswerReads) {
    run("NPAR 1\nPARAM\nabc\n,3\n7\n");
    EXPECT_EQ(s->fit.value[0], 7.0);
}

TEST_F(FitCommands, ParamFromMarkersAndWithoutParameters) {
    std::string t = run("MVAL/1\n3.5 -2\nNPAR 2\nPARAM/X\nPARAM/Y 2\n");
    EXPECT_EQ(s->fit.value[0], 3.5);
    EXPECT_EQ(s->fit.value[1], -2.0);
    EXPECT_THAT(t, HasSubstr(">       3.5\n"));
    EXPECT_THAT(t, HasSubstr(">      -2.\n"));
    EXPECT_EQ(s->markers.x[0], 3.5);
    EXPECT_EQ(s->markers.y[0], -2.0);
}

TEST_F(FitCommands, NparAndFunctRangesAndMessages) {
    std::string t = run("NPAR\n\nNPAR 60\nNPAR 7.9\nNVAR -3\nFUNCT 51\nFUNCT 18\nFUNCT\n\nFUNCT\n21\n");
    EXPECT_THAT(t, HasSubstr(" Number of parameters is  1 new >  Number of parameters set to          1\n\n\n"));
    EXPECT_THAT(t, HasSubstr("At most 50 parameters"));
    EXPECT_EQ(s->fit.nparams, 7);
    EXPECT_THAT(t, HasSubstr("Function numbers are 1 to 50"));
    EXPECT_THAT(t,
                HasSubstr(" Function number set to 18\n\n Linear + Gaussian (up to 16)                      \n\n\n"));
    EXPECT_THAT(t, HasSubstr("        36 - Unused"));
    EXPECT_THAT(t, Not(HasSubstr("        37 - ")));
    EXPECT_THAT(t, HasSubstr(" Current function no. is 18 new (CR to retain) > "));
    EXPECT_EQ(s->fit.function, 21);
}

TEST_F(FitCommands, FunctTransformFlags) {
    std::string t = run("FUNCT/E X\nFUNCT/E Y\nFUNCT/E s\nFUNCT/E Q\nFUNCT/D X\nFUNCT/D Q\n");
    EXPECT_THAT(t, HasSubstr(" 10**(X) made argument of function.\n\n"));
    EXPECT_THAT(t, HasSubstr(" Log10 taken of function.\n\n"));
    EXPECT_THAT(t, HasSubstr(" Square root taken of function.\n\n"));
    EXPECT_THAT(t, HasSubstr(" No action taken.\n\n"));
    EXPECT_THAT(t, HasSubstr(" X made argument of function.\n\n fit>  fit> "));
    EXPECT_EQ(s->fit.exp_argument, 0);
    EXPECT_EQ(s->fit.log_result, 1);
    EXPECT_EQ(s->fit.sqrt_result, 1);
}

TEST_F(FitCommands, FunctPeaksFromMarkers) {
    std::string t = run("FUNCT/M 2\nFUNCT 19\nNPAR 17\nMVAL/1\n10 100\nMVAL/2\n20 200\nFUNCT/M 2\nFUNCT/M\n3\n");
    EXPECT_THAT(t, HasSubstr(" NOT APPLICABLE\n"));
    EXPECT_EQ(s->fit.value[11], 100.0);
    EXPECT_EQ(s->fit.value[12], 10.0);
    EXPECT_EQ(s->fit.value[14], 200.0);
    EXPECT_EQ(s->fit.value[15], 20.0);
    EXPECT_EQ(s->fit.value[16], 3.0); // the later FUNCT/M asked for the width
    EXPECT_EQ(s->fit.value[13], 3.0);
    EXPECT_THAT(t, HasSubstr("\n  Width of peaks: "));
}

TEST_F(FitCommands, MaskFormsAndFitRefusal) {
    std::string t = run("NPAR 3\nMASK 2\n0\nMASK 9\nMASK\nx\n\n1\nMASK/Z\nFIT\n");
    EXPECT_THAT(t, HasSubstr(" Mask of parameter  2 , Blank      is 1 new >     "));
    EXPECT_THAT(t, HasSubstr(" Illegal subscript        9\n"));
    EXPECT_THAT(t, HasSubstr(" All masks set to 0\n"));
    EXPECT_THAT(t, HasSubstr(" No. parameters active =        0\n No parameters active, can't fit!\n\n"));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(s->fit.mask[k], 0);
    run("NPAR 3\nMASK 2\n0\nMASK\nx\n\n1\n");
    EXPECT_EQ(s->fit.mask[0], 1);
    EXPECT_EQ(s->fit.mask[1], 0);
    EXPECT_EQ(s->fit.mask[2], 1);
    std::string none = run("NPAR 3\nMASK/1\n");
    EXPECT_THAT(none, HasSubstr(" All masks set to 1\n"));
}

TEST_F(FitCommands, FvalModeAndMval) {
    std::string t = run("FUNCT 14\nNPAR 3\nPARAM\n1\n2\n0.5\nFVAL 0\n2\nFVAL 3\nMODE 3\nMODE\n-1\nMODE\n11\nMVAL/7\n");
    EXPECT_THAT(t, HasSubstr(" X >  FOR X =    2.00000000000000     F14(X) =   "));
    EXPECT_THAT(t, HasSubstr(" Mode set to   3\n\n"));
    EXPECT_THAT(t, HasSubstr(" Current mode is  3 >  Mode set to   3\n"));
    EXPECT_EQ(s->fit.mode, 11);
    EXPECT_THAT(t, Not(HasSubstr("marker #7")));
}

class FitWithData : public FitCommands {
protected:
    void prepare(Session& ss) override {
        // y = 2 + 0.5 x with a small wiggle, errors 0.1.
        for (int i = 0; i < 20; ++i) {
            ss.data.X[i] = static_cast<float>(i);
            ss.data.Y[i] = static_cast<float>(2.0 + 0.5 * i + ((i % 3) - 1) * 0.05);
            ss.data.SIGMA[i] = 0.1f;
        }
        ss.data.count = 20;
        ss.data.file_name = "run7.fit";
    }
};

TEST_F(FitWithData, FitChiAndListing) {
    testing_support::TempDir dir;
    std::string t = run("FUNCT 18\nNPAR 2\nPARAM\n1\n1\nFIT 0.4\nCHI\nFIT 1000\nPARAM/A [dir]out.txt\nPARAM/A\n");
    EXPECT_NEAR(s->fit.value[0], 2.0, 0.05);
    EXPECT_NEAR(s->fit.value[1], 0.5, 0.005);
    EXPECT_GT(s->fit.error[0], 0.0);
    EXPECT_THAT(t, Not(HasSubstr("Maxmimum number of calls set to   250")));
    EXPECT_THAT(t, HasSubstr(" Maxmimum number of calls set to  1000\n\n"));
    EXPECT_THAT(t, HasSubstr(" No. parameters active =        2\n Starting CHI**2 = "));
    EXPECT_THAT(t, HasSubstr("\n  1 Yintercept =    "));
    EXPECT_THAT(t, HasSubstr("     error = "));
    EXPECT_THAT(t, HasSubstr(" iterations.\n Final CHI**2 = "));
    EXPECT_THAT(t, HasSubstr("\n Current CHI**2 = "));
    EXPECT_THAT(t, HasSubstr("\n Reduced CHI**2 = "));
    EXPECT_THAT(t, HasSubstr("\n Fit lib CHi**2 = "));
    EXPECT_THAT(t, HasSubstr(" Fit results in OUT.lis\n"));
    EXPECT_THAT(t,
                HasSubstr("\n\n Function fitted:\n\n Linear + Gaussian (up to 16)\n\n\n  1 Variable Yintercept =    "));
    const std::string l = testing_support::read_file("OUT.lis");
    EXPECT_EQ(l.rfind(" " + std::string(78, '-') + "\n" + std::string(21, ' ') + "Results for a fit to run7.fit\n", 0),
              0u);
    EXPECT_THAT(l, HasSubstr(" 2 Variable   Gradient =   0.5"));
    EXPECT_THAT(l, HasSubstr(" fit error = "));
    EXPECT_THAT(l, HasSubstr("\n Reduced chi-squared = "));
}

TEST_F(FitWithData, ChiFiguresAgree) {
    std::string t = run("FUNCT 18\nNPAR 2\nPARAM\n2\n0.5\nCHI\n");
    // Residuals are 0 or +-0.05 with sigma 0.1: each nonzero point adds 0.25.
    EXPECT_THAT(t, HasSubstr(" Current CHI**2 =   3.2500    \n"));
    EXPECT_THAT(t, HasSubstr(" Reduced CHI**2 =  0.18056    \n"));
    EXPECT_THAT(t, HasSubstr(" Fit lib CHi**2 =  0.18056    \n"));
}

TEST_F(FitWithData, ReducedFiguresWithMoreParametersThanPoints) {
    // 25 parameters for 20 points: CHI divides by 20 - 25 active, AGP (with
    // every mask 0) by 20 - 25 fixed slots; both show the negative quotient.
    // AGP's numbers "2 0" would name parameter 2 twice: the second becomes 1.
    testing_support::TempDir dir;
    std::string t =
        run("FUNCT 18\nNPAR 25\nMASK/1\nPARAM 1\n2\nPARAM 2\n0.5\nCHI\nMASK/0\nAGP\n\n2 0\n0.5 0.5\n2 2\n1 1\n");
    EXPECT_THAT(t, HasSubstr(" Current CHI**2 =   3.2500    \n Reduced CHI**2 = -0.65000    \n"));
    EXPECT_THAT(t, HasSubstr(" X axis:   Gradient plotted between "));
    EXPECT_THAT(t, HasSubstr(" Y axis: Yintercept plotted between "));
    const std::string c = testing_support::read_file("TARVA.AGP");
    EXPECT_EQ(c, "   Gradient\n Yintercept\n   0.50000    ,   2.0000    , -0.65000    \n");
}

TEST_F(FitCommands, ChiAndCorrelWithoutData) {
    std::string t = run("CHI\nCORREL\n");
    EXPECT_THAT(t, HasSubstr(" NO DATA! \n"));
    EXPECT_THAT(t, HasSubstr(" NO DATA!\n"));
}

TEST_F(FitWithData, CorrelOfTheLine) {
    std::string t = run("FUNCT 18\nNPAR 2\nPARAM\n2\n0.5\nCORREL\n");
    // Unweighted: sum of x over the root of n times the sum of x squared,
    // 190 / sqrt(20 * 2470) = 0.855.
    EXPECT_THAT(t, HasSubstr("          CORRELATION MATRIX :\n\n       1     2\n  1  1.00\n  2  0.85  1.00\n"));
}

TEST_F(FitWithData, AgpWritesTheGridAndRestoresParameters) {
    testing_support::TempDir dir;
    std::string t = run("FUNCT 18\nNPAR 2\nPARAM\n2\n0.5\nAGP\n\n0 0\n1 3\n0.4 0.6\n3 3\n");
    const std::string c = testing_support::read_file("TARVA.AGP");
    EXPECT_THAT(t, HasSubstr("\n\n Generate an AGP file showing CHISQ as a function of two\n parameters.\n"));
    EXPECT_THAT(t, HasSubstr(" File name for output >  Output into TARVA.AGP\n"));
    EXPECT_THAT(t, HasSubstr("             1  Yintercept\n"));
    EXPECT_THAT(t, HasSubstr(" Parameter numbers for plot (I1,I2) > "));
    EXPECT_THAT(t, HasSubstr("  1: Central value of Yintercept is    2.0000    \n Initial and final values > "));
    EXPECT_THAT(t, HasSubstr(" In a grid of  3x 3 points.\n The reduced chisquared is along the Z axis.\n"));
    EXPECT_EQ(s->fit.value[0], 2.0);
    EXPECT_EQ(s->fit.value[1], 0.5);
    EXPECT_EQ(c.rfind(" Yintercept\n   Gradient\n", 0), 0u);
    int lines = 0;
    for (char ch : c) lines += ch == '\n';
    EXPECT_EQ(lines, 2 + 9);
    // The grid point (2, 0.5) is the one of the data: chi-square 3.25 over
    // 20 points less the 0 fixed slots.
    EXPECT_THAT(c, HasSubstr("    2.0000    ,  0.50000    ,  0.16250    \n"));
}

} // namespace
} // namespace tarva
