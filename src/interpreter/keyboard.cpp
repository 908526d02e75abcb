#include "interpreter/keyboard.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#include <readline/history.h>
#include <readline/readline.h>

namespace tarva {

namespace {

std::string history_path() {
    const char* home = std::getenv("HOME");
    return home ? std::string(home) + "/.tarva_history" : std::string();
}

} // namespace

void attach_keyboard(Session& s) {
    OutputSink* out = &s.out();
    if (!::isatty(0)) {
        // Prompts must reach a driving program before we wait for its answer.
        s.input().before_keyboard_wait = [out] { out->flush(); };
        return;
    }
    using_history();
    std::string path = history_path();
    if (!path.empty()) read_history(path.c_str());
    s.input().keyboard_reader = [out]() -> std::optional<std::string> {
        out->flush();
        // The prompt is already on the screen; readline only needs to know
        // it to redraw the line while editing. Under a log file the prompt
        // went to the file, so nothing is shown.
        std::string prompt = out->logging() ? std::string() : out->pending_prompt();
        rl_already_prompted = prompt.empty() ? 0 : 1;
        char* line = readline(prompt.c_str());
        if (!line) return std::nullopt;
        std::string text(line);
        std::free(line);
        if (text.size() > kMaxRecord) text.resize(kMaxRecord);
        if (!text.empty()) add_history(text.c_str());
        return text;
    };
}

void detach_keyboard(Session& s) {
    if (!s.input().keyboard_reader) return;
    std::string path = history_path();
    if (!path.empty()) {
        write_history(path.c_str());
        history_truncate_file(path.c_str(), 1000);
    }
    s.input().keyboard_reader = nullptr;
}

} // namespace tarva
