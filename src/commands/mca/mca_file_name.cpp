// The file name of MCA reads and saves: the command line, NEXT, or a prompt
// with a default derived from the current data file name.
#include <string>

#include "commands/mca/mca_command.h"
#include "session/dialogue.h"
#include "session/next_file_name.h"

namespace tarva {

namespace {

// The position of the dot that starts the extension of the last path
// component, or npos.
std::size_t extension_dot(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
    return dot;
}

std::string with_extension(const std::string& name, std::string_view extension) {
    const std::size_t dot = extension_dot(name);
    return (dot == std::string::npos ? name + "." : name.substr(0, dot + 1)) + std::string(extension);
}

} // namespace

std::string mca_file_name(Session& s, const CommandContext& ctx, bool& failed) {
    failed = false;
    const char q = ctx.qualifier;
    const bool save = q == 'S' || q == 'A';
    std::string name(trim(ctx.argument()));
    if (name.empty()) {
        const std::string current(s.data.file_name.trimmed());
        std::string fallback;
        std::string prompt = save ? "Filename for output > " : "Filename for input > ";
        if (save && !current.empty()) {
            fallback = with_extension(current, q == 'A' ? "txt" : "mca");
            prompt = "Filename for output (" + fallback + ") > ";
        }
        auto answer = ask_file_name(s, prompt, 100);
        if (!answer) return {};
        name = std::string(trim(*answer));
        if (name.empty()) name = fallback;
        if (name.empty()) return {};
    }
    if (name.rfind("NEXT", 0) == 0 || name.rfind("next", 0) == 0) {
        name = stepped_data_file_name(s);
        if (name.empty()) {
            failed = true;
            return {};
        }
    }
    const bool marked = name.find(".mca") != std::string::npos || name.find(".MCA") != std::string::npos;
    if ((save || !marked) && name.find('.') == std::string::npos) name += q == 'X' ? ".txt" : ".mca";
    // The ASCII form always carries the extension txt.
    if (q == 'A') name = with_extension(name, "txt");
    return name;
}

} // namespace tarva
