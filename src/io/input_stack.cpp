#include "io/input_stack.h"

#include "text/regular_file.h"

namespace tarva {

std::optional<std::string> read_record(std::istream& in) {
    std::streambuf* buf = in.rdbuf();
    if (!buf || !in.good()) return std::nullopt;
    std::string line;
    bool any = false;
    for (;;) {
        int c = std::char_traits<char>::eof();
        try {
            c = buf->sbumpc();
        } catch (const std::ios_base::failure&) {
            // A read error (a directory, a failing disk) ends the input as
            // its end would; the stream remembers it as bad.
            in.setstate(std::ios::badbit);
        }
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            if (!any) return std::nullopt;
            break;
        }
        any = true;
        if (c == '\n') break;
        if (line.size() < kMaxRecord) line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<std::string> InputStack::read_line() {
    auto line = read_top();
    if (line && recorder_) recorder_->push_back(*line);
    return line;
}

std::optional<std::string> InputStack::read_top() {
    if (!macros_.empty()) {
        auto& f = *macros_.back().file;
        return read_record(f);
    }
    return read_keyboard();
}

std::optional<std::string> InputStack::read_keyboard() {
    if (keyboard_reader) return keyboard_reader();
    if (before_keyboard_wait && keyboard_->rdbuf() && keyboard_->rdbuf()->in_avail() <= 0) before_keyboard_wait();
    return read_record(*keyboard_);
}

bool InputStack::push_macro(const std::string& path) {
    auto f = std::make_unique<std::ifstream>();
    if (!open_regular(*f, path)) return false;
    macros_.push_back(MacroLevel{path, std::move(f)});
    return true;
}

void InputStack::pop_macro() {
    if (!macros_.empty()) macros_.pop_back();
}

void InputStack::rewind_macro() {
    if (macros_.empty()) return;
    auto& f = *macros_.back().file;
    f.clear();
    f.seekg(0);
}

void InputStack::close_all() { macros_.clear(); }

} // namespace tarva
