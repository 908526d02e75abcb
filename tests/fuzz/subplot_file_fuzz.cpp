// Fuzz target: SUBPLO on arbitrary subplot files (stroke records, pen codes,
// label groups, overlong and binary lines, missing line ends), drawn into a
// recording driver.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "commands/commands.h"
#include "fuzz_target.h"
#include "graphics/drivers/recording_driver.h"
#include "plot/plot.h"
#include "session/session.h"

namespace {

std::string temp_file() {
    static std::string name = [] {
        // Short: the name must fit the 33 columns of a command argument.
        char tmpl[] = "/tmp/tvsub_XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        std::remove(tmpl);
        return std::string(tmpl) + ".sub";
    }();
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // Some letters become digits, blanks and line ends, so random text also
    // makes records that read, draw and end the strokes.
    for (char& c : text) {
        if (c >= 'a' && c <= 'j') c = static_cast<char>('0' + (c - 'a'));
        if (c == '_') c = ' ';
        if (c == ';') c = '\n';
    }
    const std::string file = temp_file();
    {
        std::remove(file.c_str());
        std::ofstream f(file, std::ios::binary);
        f << text;
    }
    std::istringstream answers(size % 3 ? "1e30,-1e30\n1e30\n" : "\n\n");
    std::ostringstream out;
    tarva::Session s(answers, out);
    tarva::RecordingDriver rec;
    s.graphics.recorder = &rec;
    float status = 0;
    tarva::begin_plot(s, 1.0f, 'Q', 0, 100, 0, size % 2 ? 1e-30f : 10, status);
    s.draw.picture_drawn = true;
    s.draw.last_device = 'Q';
    tarva::CommandContext ctx;
    ctx.line = "SUBPLO " + file;
    tarva::parse_command_line(ctx);
    tarva::cmd_subplot(s, ctx);
    for (const auto& v : rec.vectors())
        if (!std::isfinite(v.x) || !std::isfinite(v.y)) __builtin_trap(); // every point stays on a device's range
    if (rec.count(tarva::RecordedEvent::End) != 1) __builtin_trap();      // the picture is always ended
    return 0;
}
