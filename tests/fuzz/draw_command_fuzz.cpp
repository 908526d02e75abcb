// Fuzz target: DRAW with any command line and any answers, on a small data
// set, and the limits-file text reader. Pictures go to the no-output device
// so that no files are written.
#include <sstream>
#include <string>

#include "commands/commands.h"
#include "commands/graphics/draw/draw_command.h"
#include "commands/graphics/draw/limits.h"
#include "fuzz_target.h"
#include "session/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string raw(reinterpret_cast<const char*>(data), size);
    tarva::PlotLimits limits;
    (void)tarva::parse_limits_text(raw, limits);

    const auto nl = raw.find('\n');
    // The command word is always DRAW; the bytes give qualifier and argument.
    std::string line = "DRAW/" + raw.substr(0, nl);
    std::string answers = nl == std::string::npos ? std::string() : raw.substr(nl + 1);
    std::istringstream in(answers);
    std::ostringstream out;
    tarva::Session s(in, out);
    for (int i = 0; i < 5; ++i) {
        s.data.X[static_cast<std::size_t>(i)] = static_cast<float>(i);
        s.data.Y[static_cast<std::size_t>(i)] = static_cast<float>(i * i) - 3.0f;
        s.data.SIGMA[static_cast<std::size_t>(i)] = 0.5f;
    }
    s.data.count = size % 3 == 0 ? 0 : 5;
    s.fit.function = static_cast<int>(size % 14);
    tarva::CommandContext ctx;
    ctx.line = line;
    tarva::parse_command_line(ctx);
    // Only the settings letters stay; every picture goes to the U device,
    // and the limits files (O, S) are not touched.
    const std::string settings = "RNYTZAWGMBFICVLKJED0123456789";
    if (settings.find(ctx.qualifier) == std::string::npos || ctx.qualifier == ' ') ctx.qualifier = 'U';
    if (ctx.qualifier == 'Y' || ctx.qualifier == 'B') ctx.qualifier = 'U';
    const std::string key = tarva::draw_arguments(ctx).key;
    if (!key.empty() && (key[0] == 'O' || key[0] == 'S')) ctx.line = "DRAW";
    s.draw.default_device = 'U';
    tarva::cmd_draw(s, ctx);
    return 0;
}
