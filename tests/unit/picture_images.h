// Pictures as their outside readers see them: PNM images read back from
// Ghostscript, pdftoppm, rsvg-convert or pngtopnm, in grey levels, and the
// few measures the picture tests compare (size, ink, coloured pixels, the
// mean difference of two pictures brought to one size).
#pragma once

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace tarva::testing_support {

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb; // three bytes a pixel, row by row
    int grey(int x, int y) const {
        const std::size_t k = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x);
        return (rgb[k] + rgb[k + 1] + rgb[k + 2]) / 3;
    }
};

// A binary PNM file (P6 colour, P5 grey) with 8-bit samples; nullopt for
// anything else or a short file.
inline std::optional<Picture> read_pnm(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    auto field = [&in](int& v) {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string comment;
            std::getline(in, comment);
            in >> std::ws;
        }
        in >> v;
    };
    in >> magic;
    if (magic != "P6" && magic != "P5") return std::nullopt;
    field(w);
    field(h);
    field(maxval);
    in.get();
    if (!in || w <= 0 || h <= 0 || maxval != 255 || static_cast<long long>(w) * h > 50'000'000) return std::nullopt;
    Picture p;
    p.width = w;
    p.height = h;
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<unsigned char> raw(magic == "P6" ? 3 * n : n);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (in.gcount() != static_cast<std::streamsize>(raw.size())) return std::nullopt;
    if (magic == "P6") {
        p.rgb = std::move(raw);
    } else {
        p.rgb.resize(3 * n);
        for (std::size_t i = 0; i < n; ++i) p.rgb[3 * i] = p.rgb[3 * i + 1] = p.rgb[3 * i + 2] = raw[i];
    }
    return p;
}

// Runs a shell command that writes `pnm`, then reads it; nullopt when the
// command fails or its picture does not read. Its errors go to tool.log.
inline std::optional<Picture> picture_from(const std::string& command, const std::string& pnm) {
    std::remove(pnm.c_str());
    if (std::system((command + " 2>tool.log").c_str()) != 0) return std::nullopt;
    return read_pnm(pnm);
}

// A PNG decoded by netpbm's pngtopnm.
inline std::optional<Picture> decode_png(const std::string& file) {
    return picture_from("pngtopnm " + file + " >decoded.ppm", "decoded.ppm");
}

// The picture turned a quarter clockwise (a landscape page printed on a
// portrait sheet, its top on the right, made upright).
inline Picture turned_right(const Picture& p) {
    Picture t;
    t.width = p.height;
    t.height = p.width;
    t.rgb.resize(p.rgb.size());
    for (int y = 0; y < t.height; ++y)
        for (int x = 0; x < t.width; ++x)
            for (int c = 0; c < 3; ++c)
                t.rgb[3 * (static_cast<std::size_t>(y) * t.width + x) + c] =
                    p.rgb[3 * (static_cast<std::size_t>(p.height - 1 - x) * p.width + y) + c];
    return t;
}

// Grey levels averaged over w x h equal cells.
inline std::vector<double> cells(const Picture& p, int w, int h) {
    std::vector<double> sum(static_cast<std::size_t>(w) * h, 0.0), count(sum.size(), 0.0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::size_t k = static_cast<std::size_t>(y * h / p.height) * w + x * w / p.width;
            sum[k] += p.grey(x, y);
            count[k] += 1.0;
        }
    for (std::size_t k = 0; k < sum.size(); ++k) sum[k] = count[k] > 0 ? sum[k] / count[k] : 255.0;
    return sum;
}

// The mean absolute difference (grey levels 0..255) of two pictures, each
// averaged over w x h cells first.
inline double mean_difference(const Picture& a, const Picture& b, int w, int h) {
    const std::vector<double> ca = cells(a, w, h), cb = cells(b, w, h);
    double d = 0;
    for (std::size_t k = 0; k < ca.size(); ++k) d += std::fabs(ca[k] - cb[k]);
    return d / static_cast<double>(ca.size());
}

// The share of pixels darker than mid-grey.
inline double ink(const Picture& p) {
    long long dark = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) dark += p.grey(x, y) < 128;
    return static_cast<double>(dark) / (static_cast<double>(p.width) * p.height);
}

// Pixels neither near black nor near white: the edges of antialiased lines.
inline long long grey_edge_pixels(const Picture& p) {
    long long n = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int g = p.grey(x, y);
            n += g > 40 && g < 215;
        }
    return n;
}

// Pixels whose red, green and blue differ by more than 60: coloured, not
// black, grey or white.
inline long long coloured_pixels(const Picture& p) {
    long long n = 0;
    for (std::size_t k = 0; k + 2 < p.rgb.size(); k += 3) {
        const int r = p.rgb[k], g = p.rgb[k + 1], b = p.rgb[k + 2];
        n += std::abs(r - g) > 60 || std::abs(r - b) > 60 || std::abs(g - b) > 60;
    }
    return n;
}

} // namespace tarva::testing_support
