// The text SAVE writes, its round trip through the reader, and the safe
// replacement of files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "files/data_file.h"
#include "models/evaluate.h"
#include "temp_dir.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
}

DataSet three_points() {
    DataSet d;
    d.count = 3;
    d.caption = "Run 7";
    d.x_label = "Energy";
    d.y_label = "";
    for (int i = 0; i < 3; ++i) {
        const auto u = static_cast<std::size_t>(i);
        d.X[u] = 0.5f * static_cast<float>(i + 1);
        d.Y[u] = 1000.0f * static_cast<float>(i + 1);
        d.SIGMA[u] = 1.0e-3f;
    }
    return d;
}

TEST(SaveText, HeaderFitStateAndFourColumnPoints) {
    DataSet d = three_points();
    FitState fit;
    ModelTables tables;
    fit.function = 1;
    fit.nparams = 2;
    fit.value[0] = 1.5;
    fit.value[1] = 0.1;
    fit.mask[1] = 0;
    const auto lines = lines_of(data_file_text(d, fit, tables));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "Run 7");
    EXPECT_EQ(lines[1], "Energy");
    EXPECT_EQ(lines[2], " "); // empty label written as one blank
    EXPECT_EQ(lines[3], " 1 2");
    EXPECT_EQ(lines[4], "  1.5  0.1");
    EXPECT_EQ(lines[5], " 1 0");
    EXPECT_EQ(lines[6], " 0");
    ModelInputs in{fit, d, tables};
    const double f = evaluate(in, fit.value, d.X[1]);
    EXPECT_EQ(lines[8], " " + format_G(1.0, 14, 6, 1) + "," + format_G(2000.0, 14, 6, 1) + "," +
                            format_G(1.0e-3f, 14, 6, 1) + "   FIT " + format_G(f, 14, 6, 1));
    EXPECT_EQ(lines[8].substr(0, 30), "    1.00000    ,   2000.00    ");
}

TEST(SaveText, DrawingFunctionsWriteThreeColumnsUnlessLogY) {
    DataSet d = three_points();
    FitState fit;
    ModelTables tables;
    for (int f : {5, 9, 11, 12}) {
        fit.function = f;
        const auto lines = lines_of(data_file_text(d, fit, tables));
        EXPECT_EQ(lines[7].find("FIT"), std::string::npos) << f;
        EXPECT_EQ(lines[7].size(), 1u + 3 * 14 + 2);
    }
    d.log_y = 1;
    fit.function = 9;
    const auto lines = lines_of(data_file_text(d, fit, tables));
    EXPECT_EQ(lines[6], " -1");
    EXPECT_NE(lines[7].find("   FIT "), std::string::npos);
}

TEST(SaveText, DimensionsRecordEncodesLogFlags) {
    DataSet d;
    EXPECT_EQ(encoded_dimensions(d), 0);
    d.dimensions = 4;
    EXPECT_EQ(encoded_dimensions(d), 4);
    d.log_x = 1;
    EXPECT_EQ(encoded_dimensions(d), -2);
    d.log_y = 1;
    EXPECT_EQ(encoded_dimensions(d), -3);
    d.log_x = 0;
    EXPECT_EQ(encoded_dimensions(d), -1);
}

TEST(SaveText, LongParameterListsWrapAndReadBack) {
    DataSet d = three_points();
    FitState fit;
    ModelTables tables;
    fit.function = 18;
    fit.nparams = 50;
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1e6, 1e6);
    for (int i = 0; i < 50; ++i) {
        fit.value[static_cast<std::size_t>(i)] = u(rng) * std::pow(10.0, i % 9 - 4);
        fit.mask[static_cast<std::size_t>(i)] = i % 3 == 0 ? 0 : 1;
    }
    d.log_x = d.log_scale_x = d.log_y = d.log_scale_y = 1;
    const std::string text = data_file_text(d, fit, tables);
    const auto lines = lines_of(text);
    EXPECT_GT(lines.size(), 3u + 3u + 1u + 3u); // the 50 values need several lines
    for (const std::string& l : lines) EXPECT_LE(l.size(), 80u);

    std::istringstream in(text);
    RecordReader r(in);
    std::ostringstream msg;
    OutputSink out(msg);
    DataSet back;
    FitState fit_back;
    ASSERT_TRUE(read_data_file(r, "x.fit", ' ', back, fit_back, out)) << msg.str();
    EXPECT_EQ(fit_back.function, 18);
    EXPECT_EQ(fit_back.nparams, 50);
    for (std::size_t i = 0; i < 50; ++i) {
        EXPECT_EQ(fit_back.value[i], fit.value[i]) << i; // bit for bit
        EXPECT_EQ(fit_back.mask[i], fit.mask[i]) << i;
    }
    EXPECT_EQ(back.log_x + back.log_scale_x + back.log_y + back.log_scale_y, 4);
    EXPECT_EQ(back.count, 3);
    EXPECT_EQ(back.caption.trimmed(), "Run 7");
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.X[i], d.X[i]);
        EXPECT_EQ(back.Y[i], d.Y[i]);
        EXPECT_EQ(back.SIGMA[i], d.SIGMA[i]);
    }
}

// Point lines carry 1P G14.6: six significant digits in the fixed form,
// seven in the exponential form, so a value comes back within half a unit
// of its sixth digit.
TEST(SaveText, PointsSurviveToTheDigitsOfThePointLines) {
    DataSet d;
    d.count = 1024;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (std::size_t i = 0; i < 1024; ++i) {
        d.X[i] = u(rng) * std::pow(10.0f, static_cast<float>(static_cast<int>(i % 13) - 6));
        d.Y[i] = u(rng) * 1e4f;
        d.SIGMA[i] = std::fabs(u(rng));
    }
    FitState fit;
    ModelTables tables;
    std::istringstream in(data_file_text(d, fit, tables));
    RecordReader r(in);
    std::ostringstream msg;
    OutputSink out(msg);
    DataSet back;
    FitState fit_back;
    ASSERT_TRUE(read_data_file(r, "x.fit", ' ', back, fit_back, out));
    ASSERT_EQ(back.count, 1024);
    for (std::size_t i = 0; i < 1024; ++i) {
        EXPECT_NEAR(back.X[i], d.X[i], std::fabs(d.X[i]) * 5.1e-6) << i;
        EXPECT_NEAR(back.Y[i], d.Y[i], std::fabs(d.Y[i]) * 5.1e-6) << i;
        EXPECT_NEAR(back.SIGMA[i], d.SIGMA[i], std::fabs(d.SIGMA[i]) * 5.1e-6) << i;
    }
}

class SafeFile : public ::testing::Test {
protected:
    static std::string contents(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    testing_support::TempDir scratch;
    fs::path dir{scratch.path()};
};

TEST_F(SafeFile, CreatesAndReplacesWithoutLeftovers) {
    const fs::path p = dir / "a.fit";
    ASSERT_EQ(replace_file(p.string(), "one\n"), ReplaceStatus::Ok);
    EXPECT_EQ(contents(p), "one\n");
    ASSERT_EQ(replace_file(p.string(), "two\n"), ReplaceStatus::Ok);
    EXPECT_EQ(contents(p), "two\n");
    EXPECT_EQ(entries(), 1u);
    // A name as long as a name may be: the temporary's is cut to fit.
    const fs::path longest = dir / std::string(255, 'n');
    ASSERT_EQ(replace_file(longest.string(), "three\n"), ReplaceStatus::Ok);
    EXPECT_EQ(contents(longest), "three\n");
    EXPECT_EQ(entries(), 2u);
}

TEST_F(SafeFile, KeepsTheModeOfTheFileItReplaces) {
    const fs::path p = dir / "a.fit";
    ASSERT_EQ(replace_file(p.string(), "one\n"), ReplaceStatus::Ok);
    ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
    ASSERT_EQ(replace_file(p.string(), "two\n"), ReplaceStatus::Ok);
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(SafeFile, FollowsASymbolicLink) {
    const fs::path real = dir / "real.fit";
    const fs::path link = dir / "link.fit";
    ASSERT_EQ(replace_file(real.string(), "old\n"), ReplaceStatus::Ok);
    fs::create_symlink(real, link);
    ASSERT_EQ(replace_file(link.string(), "new\n"), ReplaceStatus::Ok);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(contents(real), "new\n");
}

TEST_F(SafeFile, RefusesDirectoriesAndMissingDirectories) {
    int err = 0;
    EXPECT_EQ(replace_file(dir.string(), "x", &err), ReplaceStatus::OpenFailed);
    EXPECT_NE(err, 0);
    EXPECT_EQ(replace_file((dir / "no" / "such.fit").string(), "x", &err), ReplaceStatus::OpenFailed);
    EXPECT_EQ(replace_file("", "x", &err), ReplaceStatus::OpenFailed);
    EXPECT_EQ(entries(), 0u);
}

TEST_F(SafeFile, AFailedWriteLeavesTheEarlierFile) {
    const fs::path p = dir / "a.fit";
    ASSERT_EQ(replace_file(p.string(), "earlier contents\n"), ReplaceStatus::Ok);
    // A file-size limit makes the writes fail as a full disk would; run in
    // a child so the limit stays there.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        const std::string big(100000, 'z');
        int err = 0;
        const ReplaceStatus st = replace_file(p.string(), big, &err);
        ::_exit(st == ReplaceStatus::WriteFailed && err != 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(contents(p), "earlier contents\n");
    EXPECT_EQ(entries(), 1u); // the temporary is gone
}

TEST_F(SafeFile, AnUncommittedWriterRemovesItsTemporary) {
    const fs::path p = dir / "a.fit";
    {
        SafeFileWriter w(p.string());
        ASSERT_TRUE(w.open());
        w.write("partial");
        EXPECT_EQ(entries(), 1u);
    }
    EXPECT_EQ(entries(), 0u);
    EXPECT_FALSE(fs::exists(p));
}

// A writer killed between writing and renaming leaves its temporary file,
// named after the target, the host and the process; the next writer in that
// directory removes it, but not the temporary of a writer still at work,
// nor one from another host (whose processes it cannot ask), nor a file
// that only looks alike.
TEST_F(SafeFile, TemporariesOfKilledWritersAreRemovedByTheNextWriter) {
    // A child that opens a writer, writes, and stops or is killed there.
    auto writer = [&](const char* name, int signal) {
        const pid_t child = ::fork();
        if (child == 0) {
            SafeFileWriter w((dir / name).string());
            if (!w.open()) ::_exit(1);
            w.write("partial");
            ::raise(signal);
            ::pause();
            ::_exit(2);
        }
        return child;
    };
    // (The one at work first: a writer opened after the kill would already
    // have removed the killed one's temporary.)
    const pid_t working = writer("b.fit", SIGSTOP);
    ASSERT_GT(working, 0);
    ASSERT_EQ(::waitpid(working, nullptr, WUNTRACED), working);
    const pid_t killed = writer("a.fit", SIGKILL);
    ASSERT_GT(killed, 0);
    ASSERT_EQ(::waitpid(killed, nullptr, 0), killed);
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const std::string tag = ".tarva-" + std::string(host) + "-";
    EXPECT_EQ(temporary_name((dir / "a.fit").string(), 7),
              (dir / (".a.fit" + tag + std::to_string(::getpid()) + "-7.tmp")).string());
    const std::string elsewhere = ".c.fit.tarva-elsewhere.invalid-" + std::to_string(killed) + "-0.tmp";
    for (const std::string& f : {elsewhere, std::string(".d.fit.tmp"), std::string("notes.tmp")})
        std::ofstream(dir / f) << "x";
    auto names = [&] {
        std::set<std::string> found;
        for (const auto& e : fs::directory_iterator(dir)) found.insert(e.path().filename().string());
        return found;
    };
    const std::string left = ".a.fit" + tag + std::to_string(killed) + "-";
    const std::string busy = ".b.fit" + tag + std::to_string(working) + "-";
    auto count = [](const std::set<std::string>& in, const std::string& prefix) {
        return std::count_if(in.begin(), in.end(), [&](const std::string& n) { return n.starts_with(prefix); });
    };
    const auto before = names();
    EXPECT_EQ(before.size(), 5u);
    EXPECT_EQ(count(before, left), 1) << left;
    EXPECT_EQ(count(before, busy), 1) << busy;
    EXPECT_EQ(replace_file((dir / "e.fit").string(), "new\n"), ReplaceStatus::Ok);
    const auto after = names();
    ::kill(working, SIGKILL);
    ::waitpid(working, nullptr, 0);
    EXPECT_EQ(after.size(), 5u);
    EXPECT_EQ(count(after, left), 0);
    EXPECT_EQ(count(after, busy), 1);
    for (const std::string& f : {elsewhere, std::string(".d.fit.tmp"), std::string("notes.tmp"), std::string("e.fit")})
        EXPECT_EQ(after.count(f), 1u) << f;
}

} // namespace
} // namespace tarva
