// Fuzz target: preparing and splitting command lines, with state that makes
// every substitution marker expand.
#include <sstream>
#include <string>

#include "commands/command_table.h"
#include "fuzz_target.h"
#include "interpreter/interpreter.h"
#include "session/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::istringstream in;
    static std::ostringstream out;
    static tarva::Session s(in, out);
    s.data.file_name = "run#1.fit";
    s.data.caption = "a|b caption";
    s.interp.last_macro = "mac%ro.qvc";
    s.interp.macro_args = "~arg one ~ two";
    std::string raw(reinterpret_cast<const char*>(data), size);
    tarva::CommandContext ctx;
    bool expanded = false;
    tarva::prepare_line(s, raw, ctx, expanded);
    tarva::parse_command_line(ctx);
    if (ctx.line.view().size() != 40) __builtin_trap();
    if (ctx.line[0] != ' ' && ctx.line[6] != ' ') __builtin_trap();
    (void)tarva::find_command(ctx.word());
    out.str("");
    return 0;
}
