// Tests that need an outside program (Ghostscript, hp2xx, xterm) skip
// without it, but under CI, which installs them all, a missing one fails:
// the unit tests' have_program and the transcript checks' `have`.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "temp_dir.h"

namespace tarva {
namespace {

using testing_support::have_program;
using testing_support::TempDir;
using testing_support::write_file;

constexpr const char* kMissing = "tarva-no-such-program";

// Sets CI (or removes it) for one test, and puts back what was there.
class CiSetting {
public:
    explicit CiSetting(const char* value) {
        if (const char* old = std::getenv("CI")) old_ = old;
        if (value)
            ::setenv("CI", value, 1);
        else
            ::unsetenv("CI");
    }
    ~CiSetting() {
        if (old_)
            ::setenv("CI", old_->c_str(), 1);
        else
            ::unsetenv("CI");
    }

private:
    std::optional<std::string> old_;
};

TEST(OutsideTools, AMissingProgramIsOnlyASkipOutsideCi) {
    CiSetting ci(nullptr);
    EXPECT_FALSE(have_program(kMissing));
    EXPECT_TRUE(have_program("sh"));
}

TEST(OutsideTools, UnderCiAMissingProgramFails) {
    CiSetting ci("true");
    EXPECT_NONFATAL_FAILURE(have_program(kMissing), "is not installed");
}

// A transcript whose check needs a missing program: passes without CI (the
// check is left out), fails under CI.
TEST(OutsideTools, TranscriptCheckNeedingAMissingProgramFailsUnderCi) {
    TempDir dir;
    write_file("t.in", "EXIT\n");
    write_file("t.out", "");
    write_file("t.check", std::string("if have ") + kMissing + "; then exit 1; fi\ntrue\n");
    const std::string script = std::string(TARVA_SOURCE_DIR) + "/tests/run_transcript.sh";
    const std::string run =
        script + " /bin/true " + std::filesystem::current_path().string() + " t " + TARVA_SOURCE_DIR + "/lib >log 2>&1";
    {
        CiSetting ci(nullptr);
        EXPECT_EQ(std::system(run.c_str()), 0) << testing_support::read_file("log");
    }
    {
        CiSetting ci("1");
        EXPECT_NE(std::system(run.c_str()), 0);
        EXPECT_NE(testing_support::read_file("log").find(std::string(kMissing) + " is not installed"),
                  std::string::npos)
            << testing_support::read_file("log");
    }
}

} // namespace
} // namespace tarva
