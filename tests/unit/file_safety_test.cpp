// Files as the real program meets them: devices, fifos and links where a
// file is expected, a disk that fills up, signals in the middle of a run.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tarva_process.h"

namespace tarva {
namespace {

using testing_support::ProcessOptions;
using testing_support::ProcessRun;

constexpr const char* kSmallData = "Small test\nX\nY\n5 1\n0\n1\n0\n1 2 0.5\n2 3 0.5\n3 5 0.5\n4 4 0.5\n";

class FileSafety : public testing_support::TarvaProcess {
protected:
    static bool has(const ProcessRun& r, const std::string& text) { return r.out.find(text) != std::string::npos; }
};

// Macro files (the login macro too), help files, the counter files and the
// log are opened only when they are regular files (or, for the log, a
// terminal): a fifo would block in open and /dev/zero would read for ever.
TEST_F(FileSafety, OnlyRegularFilesAreRead) {
    fifo("login.qvc");
    link("z.qvc", "/dev/zero");
    fifo("f.qvc");
    link("tarva.hlp", "/dev/zero");
    fifo("qvfun.hlp");
    fifo("qvm.ps");
    link("hpqvm.hgl", "/dev/zero");
    fifo("log");
    link("null.log", "/dev/null");
    file("small.fit", kSmallData);
    ProcessOptions o;
    o.deadline_seconds = 10;
    const ProcessRun r = run("@z\n@f\nz\nhelp draw\nhelp/f 5\necho/d log\necho/d null.log\n"
                             "data small\ndraw/q\ndraw/h\nexit\n",
                             o);
    ASSERT_FALSE(r.timed_out) << r.out;
    EXPECT_TRUE(r.exited_with(0));
    EXPECT_TRUE(has(r, "     Executing the login macro: login.qvc\n\n ? Error opening login.qvc .\n")) << r.out;
    EXPECT_TRUE(has(r, " fit>  ? Error opening z.qvc .\n fit>  ? Error opening f.qvc .\n")) << r.out;
    EXPECT_TRUE(has(r, "     Executing the login macro: z.qvc\n\n ? Error opening z.qvc .\n")) << r.out;
    EXPECT_TRUE(has(r, " fit>  Error opening " + path("tarva.hlp") + "\n")) << r.out;
    EXPECT_TRUE(has(r, " Can't find " + path("qvfun.hlp"))) << r.out;
    EXPECT_TRUE(has(r, " Unable to open and write to log for output.\n\n")) << r.out;
    EXPECT_TRUE(has(r, " Unable to open and write to null.log for output.\n\n")) << r.out;
    // The counter files could not be read: numbering starts from memory and
    // the device files are left alone.
    EXPECT_TRUE(has(r, " Plot written to: plt01.ps\n")) << r.out;
    EXPECT_TRUE(has(r, " Error updating run number in hprun.hgl\n Opening HP-GL plot file: H1.hgl\n")) << r.out;
}

} // namespace
} // namespace tarva
