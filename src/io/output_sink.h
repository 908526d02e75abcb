// Where all normal output and prompts go: the terminal (standard output, or
// a test's stream) or a log file after ECHO/D.
//
// Every line written starts with one blank column; a prompt stays on its line
// so the answer (or, in a macro, its echo) follows on the same line.
#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace tarva {

class OutputSink {
public:
    explicit OutputSink(std::ostream& terminal) : terminal_(&terminal) {}

    // " " + text + line end.
    void line(std::string_view text);
    // An empty line.
    void blank_line();
    // " " + text without a line end. The keyboard reader flushes before it
    // waits, so a user sees the prompt before typing.
    void prompt(std::string_view text);
    // Bytes exactly as given (control sequences, continuation echoes).
    void raw(std::string_view bytes);
    void flush();

    // The log file: opens (creating or replacing) and makes it the sink.
    // Returns false and leaves the terminal as the sink when it fails.
    bool open_log(const std::string& name);
    void close_log();
    bool logging() const { return log_ != nullptr; }

    // The prompt text written since the last line end (for line editing).
    const std::string& pending_prompt() const { return pending_prompt_; }

    // The terminal itself, whatever the sink (HOLD talks to it directly).
    std::ostream& terminal() { return *terminal_; }

    // Called at the start of every prompt, before its text is written (the
    // session writes out pending pictures there when the answer will come
    // from the keyboard, so their messages come before the prompt).
    std::function<void()> before_prompt;

private:
    std::ostream& current() { return log_ ? *log_ : *terminal_; }
    void check_log();
    void report_log_failure(int status);
    std::ostream* terminal_;
    std::unique_ptr<std::ofstream> log_;
    std::string log_name_;
    std::string pending_prompt_;
};

} // namespace tarva
