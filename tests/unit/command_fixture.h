// The test kit for commands: a session on string streams that runs lines
// exactly as typed at the prompt (prepared, split and looked up in the
// command table by the interpreter's own code), with the answers to their
// prompts given as text. CommandSession can be a local or a member;
// CommandFixture is the same as a test fixture, and ScratchCommandFixture
// runs it in a fresh working directory (TempDir, temp_dir.h).
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "commands/command_table.h"
#include "graphics/drivers/recording_driver.h"
#include "interpreter/interpreter.h"
#include "plot/plot.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva::testing_support {

// Puts the points into the data set (SIGMA 1 when no errors are given).
inline void set_points(DataSet& d, const std::vector<float>& x, const std::vector<float>& y,
                       const std::vector<float>& e = {}) {
    for (std::size_t i = 0; i < x.size(); ++i) {
        d.X[i] = x[i];
        d.Y[i] = y[i];
        d.SIGMA[i] = e.empty() ? 1.0f : e[i];
    }
    d.count = static_cast<int>(x.size());
}

struct CommandSession {
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    // The command context as the last command left it.
    CommandContext last;

    // `answers`: what the keyboard holds for the prompts to come.
    explicit CommandSession(const std::string& answers = "") : in(answers) {}
    CommandSession(const CommandSession&) = delete;
    CommandSession& operator=(const CommandSession&) = delete;

    // Runs the line as typed at the prompt, with `answers` as everything the
    // keyboard will give its prompts; returns what it printed.
    std::string run(const std::string& line, const std::string& answers = "") {
        in.str(answers);
        in.clear();
        out.str("");
        type(line);
        return out.str();
    }
    // The same, checking first that the line selects the routine named (a
    // test that is about one routine says which).
    std::string run(CommandHandler routine, const std::string& line, const std::string& answers = "") {
        expect_selects(routine, line);
        return run(line, answers);
    }
    void expect_selects(CommandHandler routine, const std::string& line) {
        CommandContext ctx;
        bool expanded = false;
        prepare_line(s, line, ctx, expanded);
        parse_command_line(ctx);
        const CommandEntry* e = find_command(ctx.word());
        EXPECT_TRUE(e && e->handler == routine) << "\"" << line << "\" selects another command";
    }
    // Types the line at the prompt with the input and the output as they
    // are, for an exchange scripted over several lines.
    void type(const std::string& line) { last = execute_line(s, line); }

    void points(const std::vector<float>& x, const std::vector<float>& y, const std::vector<float>& e = {}) {
        set_points(s.data, x, y, e);
    }
    // Appends one point to the data set.
    void add_point(float x, float y, float sigma = 0.0f) {
        const auto k = static_cast<std::size_t>(s.data.count++);
        s.data.X[k] = x;
        s.data.Y[k] = y;
        s.data.SIGMA[k] = sigma;
    }
    // The square from (0, 0) to (100, 100) in the window, drawn on the device
    // as a move and four draws.
    void box(char device) {
        plot_pen(s, device, 0, 0, 3);
        plot_pen(s, device, 100, 0, 2);
        plot_pen(s, device, 100, 100, 2);
        plot_pen(s, device, 0, 100, 2);
        plot_pen(s, device, 0, 0, 2);
    }
    std::vector<float> xs() const { return {s.data.X.begin(), s.data.X.begin() + s.data.count}; }
    std::vector<float> ys() const { return {s.data.Y.begin(), s.data.Y.begin() + s.data.count}; }
    std::vector<float> es() const { return {s.data.SIGMA.begin(), s.data.SIGMA.begin() + s.data.count}; }
};

struct CommandFixture : ::testing::Test, CommandSession {};

// A command fixture whose pictures go to a recorder, for commands that draw
// on the last picture (LABEL, INTEG/M, the annotations).
struct PictureFixture : CommandFixture {
    RecordingDriver rec;

    // As if DRAW had just shown the window on the PostScript device: the
    // frame is set up, the picture remembered, the recorder emptied.
    void picture(float xmin = 0, float xmax = 100, float ymin = 0, float ymax = 10) {
        s.graphics.recorder = &rec;
        float status = 0;
        begin_plot(s, 1.0F, 'Q', xmin, xmax, ymin, ymax, status);
        s.draw.picture_drawn = true;
        s.draw.last_device = 'Q';
        s.draw.old_xmin = xmin;
        s.draw.old_xmax = xmax;
        s.draw.old_ymin = ymin;
        s.draw.old_ymax = ymax;
        rec.clear();
    }
};

// The scratch directory is made before the session and removed after it, so
// files the session closes at its end are still written inside it.
struct InScratchDir {
    TempDir dir;
};
struct ScratchCommandFixture : InScratchDir, CommandFixture {};

} // namespace tarva::testing_support
