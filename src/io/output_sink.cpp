#include "io/output_sink.h"

#include "text/regular_file.h"

namespace tarva {

void OutputSink::line(std::string_view text) {
    std::ostream& os = current();
    os.put(' ');
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
    os.put('\n');
    pending_prompt_.clear();
}

void OutputSink::blank_line() {
    current().put('\n');
    pending_prompt_.clear();
}

void OutputSink::prompt(std::string_view text) {
    std::ostream& os = current();
    os.put(' ');
    os.write(text.data(), static_cast<std::streamsize>(text.size()));
    pending_prompt_.assign(" ").append(text);
}

void OutputSink::raw(std::string_view bytes) {
    current().write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void OutputSink::flush() {
    if (log_) log_->flush();
    terminal_->flush();
}

bool OutputSink::open_log(const std::string& name) {
    close_log();
    if (!may_write_log(name)) return false;
    auto file = std::make_unique<std::ofstream>(name, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!file->is_open()) return false;
    log_ = std::move(file);
    return true;
}

void OutputSink::close_log() {
    if (log_) {
        log_->flush();
        log_->close();
        log_.reset();
    }
}

} // namespace tarva
