// Fixed-length, blank-padded text fields and the small text helpers the
// whole program relies on (case conversion, trailing-blank length,
// left-justification, rounding).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace tarva {

// Position (1-based) of the last character that is neither blank nor TAB;
// 0 when there is none.
std::size_t last_nonblank(std::string_view text);

// The text up to its last non-blank character.
inline std::string_view trimmed(std::string_view text) { return text.substr(0, last_nonblank(text)); }

// The text without its leading blanks and TABs and its trailing blanks,
// TABs and CRs (the CR of a line from a file written with CR LF).
std::string_view trim(std::string_view text);

// Two texts are equal when they differ only in trailing blanks.
bool text_equal(std::string_view a, std::string_view b);

void to_upper(std::string& text);
void to_lower(std::string& text);
std::string upper(std::string_view text);
std::string lower(std::string_view text);

// Pads with blanks or cuts to exactly n characters.
std::string pad(std::string_view text, std::size_t n);

// Rounds to the nearest integer: adds 0.5 and truncates toward zero
// (2.5 -> 3, -2.7 -> -2). Values beyond the int range are clamped.
int round_nearest(double value);

// A fixed-width text field of N characters, always blank-padded.
template <std::size_t N>
class FixedText {
public:
    FixedText() { chars_.fill(' '); }
    FixedText(std::string_view s) { assign(s); } // NOLINT: copying pads or cuts, as fields do

    void assign(std::string_view s) {
        chars_.fill(' ');
        for (std::size_t i = 0; i < N && i < s.size(); ++i) chars_[i] = s[i];
    }
    FixedText& operator=(std::string_view s) {
        assign(s);
        return *this;
    }

    static constexpr std::size_t size() { return N; }
    std::string_view view() const { return {chars_.data(), N}; }
    std::string str() const { return std::string(view()); }
    std::string_view trimmed() const { return tarva::trimmed(view()); }
    std::size_t length() const { return last_nonblank(view()); }
    bool blank() const { return length() == 0; }
    char& operator[](std::size_t i) { return chars_[i]; }
    char operator[](std::size_t i) const { return chars_[i]; }
    char* data() { return chars_.data(); }

    friend bool operator==(const FixedText& a, std::string_view b) { return text_equal(a.view(), b); }

private:
    std::array<char, N> chars_;
};

// Removes leading blanks by shifting the text left (blanks appended). A text
// whose length reaches 200 has only its first 200 characters shifted and
// the result is true, so a caller with an output sink can say "Line too long
// in QZLEAD."; no text the program left-justifies (command lines, answers,
// macro lines read by OUT) is that long.
bool left_justify(std::string& text);

} // namespace tarva
