#include "io/output_sink.h"

#include <cerrno>

#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

void OutputSink::line(std::string_view text) {
    std::ostream& os = current();
    os.put(' ');
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
    os.put('\n');
    pending_prompt_.clear();
    check_log();
}

void OutputSink::blank_line() {
    current().put('\n');
    pending_prompt_.clear();
    check_log();
}

void OutputSink::prompt(std::string_view text) {
    if (before_prompt) before_prompt();
    // The log is written out at every prompt, so a full disk shows within
    // one command and the prompt itself then reaches the terminal.
    if (log_) log_->flush();
    check_log();
    std::ostream& os = current();
    os.put(' ');
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
    pending_prompt_.assign(" ").append(text);
    check_log();
}

void OutputSink::raw(std::string_view bytes) {
    current().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check_log();
}

void OutputSink::flush() {
    if (log_) log_->flush();
    check_log();
    terminal_->flush();
}

// A log that stopped taking lines (a full disk) is given up at once: the
// terminal becomes the sink again and says so, rather than the log being
// cut without a word.
void OutputSink::check_log() {
    if (!log_ || log_->good()) return;
    const int status = errno ? errno : 1;
    log_.reset();
    report_log_failure(status);
}

void OutputSink::report_log_failure(int status) {
    std::ostream& t = *terminal_;
    t << ' ' << format_I(status, 4) << " Unable to open and write to " << log_name_ << " for output.\n\n";
}

bool OutputSink::open_log(const std::string& name) {
    close_log();
    if (!may_write_log(name)) return false;
    auto file = std::make_unique<std::ofstream>(name, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!file->is_open()) return false;
    log_ = std::move(file);
    log_name_ = name;
    return true;
}

void OutputSink::close_log() {
    if (!log_) return;
    errno = 0;
    log_->close();
    const bool ok = !log_->fail();
    const int status = errno ? errno : 1;
    log_.reset();
    if (!ok) report_log_failure(status);
}

} // namespace tarva
