// Turns fuzz bytes into text made of the pieces data files are made of, so
// random inputs reach deep into the readers (headers, fit records, points).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::string data_file_tokens(const std::uint8_t* data, std::size_t size) {
    static const char* const pieces[] = {
        "1",    "-2.5",  "1e999", "NaN", ",",  "/", "\n",           " ",  "3*",   "x",  "0",
        "1024", "-3",    "50",    "E5",  "\t", "7", "2*",           "-1", "-2",   "18", "1.5",
        "\r\n", "1e-40", "Inf",   "1d3", "+",  ".", "999999999999", "60", "\n\n", "5"};
    std::string s;
    for (std::size_t i = 0; i < size; ++i) s += pieces[data[i] % (sizeof pieces / sizeof pieces[0])];
    return s;
}
