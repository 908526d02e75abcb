// Fuzz target: the device layer and all three drivers driven by arbitrary
// pictures (any device code, window, aspect, coordinates including NaN and
// infinities, pen codes, thickness and line styles), cross-hair reports, and
// counter and run-number files of arbitrary content.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_target.h"
#include "graphics/drivers/device_table.h"
#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    bool more() const { return pos < size; }
    std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
    float real() {
        // Half the time a plain small number, otherwise raw bits (NaN, Inf, huge).
        if (byte() & 1) return static_cast<float>(static_cast<int>(byte()) - 64) * 1.5f;
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits = (bits << 8) | byte();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    int integer() {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits = (bits << 8) | byte();
        return static_cast<int>(bits);
    }
    std::string text(std::size_t max) {
        std::size_t n = byte() % (max + 1);
        std::string t;
        while (n-- > 0 && more()) t.push_back(static_cast<char>(byte()));
        return t;
    }
};

const char kDevices[] = "SQqPpHhUuOo *x";

std::string made_dir;

void remove_work_dir() {
    std::error_code ec;
    std::filesystem::current_path("/", ec);
    std::filesystem::remove_all(made_dir, ec);
}

// A private directory for the plot files, in memory when /dev/shm exists
// (thousands of small files come and go), removed at exit.
std::string work_dir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                                               : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tarva_plot_fuzz_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    made_dir = pattern;
    std::atexit(remove_work_dir);
    std::filesystem::current_path(pattern);
    return pattern;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = work_dir();
    static std::istringstream keyboard;
    static std::ostringstream out;
    static tarva::Session s(keyboard, out);
    static bool ready = false;
    if (!ready) {
        tarva::open_destination(s, "/dev/null");
        s.graphics.terminal_type = 1;
        ready = true;
    }
    Reader r{data, size};
    int steps = 0;
    while (r.more() && steps++ < 400) {
        const char device = kDevices[r.byte() % (sizeof kDevices - 1)];
        switch (r.byte() % 10) {
        case 0: {
            float status = 0;
            const float aspect = r.real();
            const float x0 = r.real(), x1 = r.real(), y0 = r.real(), y1 = r.real();
            tarva::begin_plot(s, aspect, device, x0, x1, y0, y1, status);
            if (status != 0.0f && status != 1.0f) __builtin_trap();
            break;
        }
        case 1:
        case 2: {
            const float x = r.real(), y = r.real();
            tarva::plot_pen(s, device, x, y, (r.byte() & 1) ? 2 : 3);
            break;
        }
        case 3: {
            const float x = r.real(), y = r.real();
            tarva::device_vector(s, device, x, y, r.integer());
            break;
        }
        case 4: tarva::set_line_thickness(s.graphics, r.integer(), r.real()); break;
        case 5:
            s.graphics.line_style = r.byte() % 9;
            s.graphics.char_size = r.real();
            s.graphics.clear_flag = r.byte() & 1;
            // Type 8 would reopen the real terminal; every other type is fair.
            s.graphics.terminal_type = 1 + r.byte() % 10;
            if (s.graphics.terminal_type == 8) s.graphics.terminal_type = 9;
            break;
        case 6: tarva::end_plot(s, device); break;
        case 7: {
            keyboard.clear();
            keyboard.str(r.text(90) + "\n");
            char key = ' ';
            float x = 0, y = 0;
            tarva::cross_hair(s, device == 'x' ? 'S' : device, key, x, y);
            break;
        }
        case 8: {
            tarva::close_plot_files(s, '*');
            std::ofstream(tarva::kPostScriptCounterFile, std::ios::binary) << r.text(24);
            std::ofstream(tarva::kHpglRunNumberFile, std::ios::binary) << r.text(24);
            break;
        }
        default: {
            const float f = r.real();
            tarva::define_placement(s, 'Q', f, r.real(), r.real());
            tarva::define_placement(s, 'H', f, r.real(), r.real());
            tarva::define_placement(s, 'S', f, r.real(), r.real());
            tarva::pen_changed(s, r.integer(), r.real());
            break;
        }
        }
    }
    tarva::close_plot_files(s, '*');
    // Keep the directory small: plot files of this input are not needed.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name != tarva::kPostScriptCounterFile && name != tarva::kHpglRunNumberFile)
            std::filesystem::remove(e.path(), ec);
    }
    out.str("");
    return 0;
}
