// Whole pictures drawn by DRAW on every device: the PostScript files render
// with Ghostscript, hp2xx reads the HP-GL files of both options, and the
// terminal stream leaves the terminal in text mode.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "command_fixture.h"
#include "commands/commands.h"
#include "interpreter/interpreter.h"
#include "plot/device.h"
#include "session/session.h"

namespace tarva {
namespace {

using testing_support::have_program;
using testing_support::read_file;

struct DrawOnDevices : testing_support::ScratchCommandFixture {
    void SetUp() override {
        for (int i = 0; i < 40; ++i) {
            const float x = static_cast<float>(i) * 0.25f;
            s.data.X[i] = x;
            s.data.Y[i] = 3.0f + 2.0f * std::sin(x);
            s.data.SIGMA[i] = 0.2f;
        }
        s.data.count = 40;
        s.fit.function = 9; // a line through the points: something is drawn on every device
        s.data.caption = "Device test ^2a^c";
        open_destination(s, "screen.tek");
        s.graphics.terminal_type = 1;
    }
};

TEST_F(DrawOnDevices, EveryFileIsReadByItsConsumer) {
    type("draw/q");
    type("draw/a 0.7");
    type("draw/q");
    type("draw/p");
    type("draw/h");
    type("draw/s");
    type("close");
    close_plot_files(s, 'S');
    ASSERT_TRUE(std::filesystem::exists("plt01.ps")) << out.str();
    ASSERT_TRUE(std::filesystem::exists("plt02.ps")) << out.str();
    ASSERT_TRUE(std::filesystem::exists("P1.hgl")) << out.str();
    ASSERT_TRUE(std::filesystem::exists("H2.hgl")) << out.str();
    const std::string tek = read_file("screen.tek");
    ASSERT_GT(tek.size(), 100u) << out.str();
    EXPECT_EQ(tek.back(), '\x1f'); // back to text mode at the end
    for (const char* f : {"plt01.ps", "plt02.ps"}) {
        const std::string ps = read_file(f);
        EXPECT_EQ(ps.substr(ps.size() - 13), " showpage \n\x04\n") << f;
        EXPECT_EQ(ps.find("****"), std::string::npos) << f;
    }
    if (have_program("gs")) {
        for (const char* f : {"plt01.ps", "plt02.ps"}) {
            const std::string cmd = std::string("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -sOutputFile=r.png ") +
                                    f + " >gs.log 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << read_file("gs.log");
            EXPECT_EQ(read_file("gs.log").find("Error"), std::string::npos) << read_file("gs.log");
        }
    }
    if (have_program("hp2xx")) {
        for (const char* f : {"P1.hgl", "H2.hgl"}) {
            const std::string cmd = std::string("hp2xx -m png -f r.png ") + f + " >hp.log 2>&1";
            EXPECT_EQ(std::system(cmd.c_str()), 0) << read_file("hp.log");
        }
        EXPECT_NE(read_file("hp.log").find("Coordinate range"), std::string::npos);
    }
}

} // namespace
} // namespace tarva
