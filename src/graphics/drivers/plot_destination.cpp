#include "graphics/drivers/plot_destination.h"

#include "graphics/drivers/driver.h"
#include "io/output_sink.h"

namespace tarva {

void PlotDestination::close(OutputSink& out) {
    if (!file_.is_open()) return;
    // The stream keeps the failure of an earlier write, so a destination
    // that lost bytes anywhere is said to be incomplete here too.
    file_.close();
    if (file_.fail()) report_incomplete_plot(out, name_.trimmed());
    file_.clear();
}

void PlotDestination::report_failure(OutputSink& out) const {
    if (file_.is_open() && file_.fail()) report_incomplete_plot(out, name_.trimmed());
}

void PlotDestination::write(std::string_view bytes) {
    if (!file_.is_open()) return;
    file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file_.flush();
}

void PlotDestination::open(OutputSink& out, std::string name) {
    if (last_nonblank(name) == 0) return;
    name = std::string(trimmed(name));
    if (name == "*") name = "/dev/tty";
    name = std::string(trimmed(pad(name, 50)));
    const std::string previous(name_.trimmed());
    const bool was_open = file_.is_open();
    close(out);
    file_.open(name, std::ios::out | std::ios::trunc | std::ios::binary);
    if (file_.is_open()) {
        name_ = name;
        return;
    }
    file_.clear();
    out.line("Unable to open output to " + name + ".");
    if (!was_open) return;
    // The previous destination is continued, not rewritten.
    file_.open(previous, std::ios::out | std::ios::app | std::ios::binary);
    if (!file_.is_open()) {
        file_.clear();
        out.line("Unable to reopen original channel: " + previous);
    }
}

} // namespace tarva
