#include "interpreter/keyboard.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <poll.h>
#include <unistd.h>

#include "io/stop_signal.h"
#include <cstring>

#include <readline/history.h>
#include <readline/readline.h>

#include "interpreter/completion.h"

namespace tarva {

namespace {

std::string history_path() {
    const char* home = std::getenv("HOME");
    return home ? std::string(home) + "/.tarva_history" : std::string();
}

char* copy_for_readline(const std::string& text) {
    char* p = static_cast<char*>(std::malloc(text.size() + 1));
    if (p) std::memcpy(p, text.c_str(), text.size() + 1);
    return p;
}

// readline's completion hook: the matches of complete_at_prompt, the first
// entry being their common beginning, in the order given (default extension
// first), with no blank appended after a directory.
extern "C" char** complete_command_line(const char*, int start, int end) {
    rl_attempted_completion_over = 1;
    const std::vector<std::string> found = complete_at_prompt(
        std::string_view(rl_line_buffer, static_cast<std::size_t>(end)), static_cast<std::size_t>(start));
    if (found.empty()) return nullptr;
    std::string common = found[0];
    for (const std::string& f : found) {
        std::size_t n = 0;
        while (n < common.size() && n < f.size() && common[n] == f[n]) ++n;
        common.resize(n);
    }
    char** matches = static_cast<char**>(std::calloc(found.size() + 2, sizeof(char*)));
    if (!matches) return nullptr;
    matches[0] = copy_for_readline(found.size() == 1 ? found[0] : common);
    if (found.size() > 1)
        for (std::size_t i = 0; i < found.size(); ++i) matches[i + 1] = copy_for_readline(found[i]);
    rl_completion_append_character = found.size() == 1 && found[0].back() == '/' ? '\0' : ' ';
    return matches;
}

// readline's completion hook at a question that does not ask for a file:
// no completions, so TAB leaves the answer as it is.
extern "C" char** complete_nothing(const char*, int, int) {
    rl_attempted_completion_over = 1;
    return nullptr;
}

// readline's key reader: waits for a key in short steps and looks at the
// stop flag between them, so a signal at the prompt ends the run at once
// instead of after the next Enter. A signal that readline's own handler
// caught is handed on to the program's handler first (rl_check_signals
// restores the terminal around it). Once the flag is set every read is the
// end of input, and readline returns with the terminal as it found it.
extern "C" int read_key_unless_stopped(FILE* stream) {
    const int fd = ::fileno(stream);
    for (;;) {
        if (stop_signal()) return EOF;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 200);
        if (ready < 0 && errno != EINTR) return EOF;
        if (ready < 0) rl_check_signals();
        if (ready > 0) return rl_getc(stream);
    }
}

// Lines from a file descriptor with read(2): a signal interrupts the wait
// (the handlers do not restart calls), and once the stop flag is set no
// more lines are given. Long lines are cut as the macro reader cuts them.
class DescriptorLines {
public:
    explicit DescriptorLines(int fd) : fd_(fd) {}
    std::optional<std::string> next(const std::function<void()>& before_wait) {
        std::string line;
        bool any = false;
        for (;;) {
            if (stop_signal()) return std::nullopt;
            if (pos_ == len_) {
                if (eof_) break;
                if (before_wait) before_wait();
                // A signal that comes just before the read would not
                // interrupt it: wait in short steps and look at the flag.
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 200) <= 0) continue;
                const ssize_t n = ::read(fd_, chunk_, sizeof chunk_);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    eof_ = true;
                    break;
                }
                pos_ = 0;
                len_ = static_cast<std::size_t>(n);
                continue;
            }
            const char c = chunk_[pos_++];
            any = true;
            if (c == '\n') break;
            if (line.size() < kMaxRecord) line.push_back(c);
        }
        if (!any) return std::nullopt;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

private:
    int fd_;
    char chunk_[4096];
    std::size_t pos_ = 0, len_ = 0;
    bool eof_ = false;
};

} // namespace

void attach_keyboard(Session& s) {
    OutputSink* out = &s.out();
    if (!::isatty(0)) {
        // Prompts must reach a driving program before we wait for its answer.
        auto lines = std::make_shared<DescriptorLines>(0);
        s.input().keyboard_reader = [out, lines]() { return lines->next([out] { out->flush(); }); };
        return;
    }
    using_history();
    rl_getc_function = read_key_unless_stopped;
    std::string path = history_path();
    if (!path.empty()) read_history(path.c_str());
    const InputStack* input = &s.input();
    s.input().keyboard_reader = [out, input]() -> std::optional<std::string> {
        out->flush();
        // The prompt is already on the screen; readline only needs to know
        // it to redraw the line while editing. Under a log file the prompt
        // went to the file, so nothing is shown.
        std::string prompt = out->logging() ? std::string() : out->pending_prompt();
        rl_already_prompted = prompt.empty() ? 0 : 1;
        // TAB: at the "fit> " prompt command words and their file names; at
        // a question for a file name readline's own file-name completion;
        // at any other question (a number, a letter, a name, a cursor
        // report) nothing. Words are broken at blanks only: readline finds
        // the word before it asks the hook, so the break characters must
        // never be null (as they are before readline's first call).
        rl_completer_word_break_characters = " \t";
        if (out->pending_prompt() == " fit> ") {
            rl_attempted_completion_function = complete_command_line;
            rl_sort_completion_matches = 0;
        } else {
            rl_attempted_completion_function = input->file_name_answer ? nullptr : complete_nothing;
            rl_sort_completion_matches = 1;
        }
        char* line = readline(prompt.c_str());
        if (line && stop_signal()) {
            std::free(line); // a line cut short by the signal is not run
            line = nullptr;
        }
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
    if (!::isatty(0)) { // no line editing, so no history to keep
        s.input().keyboard_reader = nullptr;
        return;
    }
    std::string path = history_path();
    if (!path.empty()) {
        write_history(path.c_str());
        history_truncate_file(path.c_str(), 1000);
    }
    s.input().keyboard_reader = nullptr;
}

} // namespace tarva
