// A fresh working directory for tests that write plot files: made and
// entered on construction, left and removed on destruction.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarva::testing_support {

class TempDir {
public:
    TempDir() : old_(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarva_test_XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (!made) std::abort();
        path_ = made;
        std::filesystem::current_path(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path old_;
    std::filesystem::path path_;
};

inline std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& name, const std::string& text) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << text;
}

// True when CI is set (to anything but empty).
inline bool in_ci() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0';
}

// True when the program is on the PATH. Tests that use an outside program
// skip (or leave out a check) without it; under CI, which installs every one
// of them, a missing program is recorded as a failure instead.
inline bool have_program(const std::string& name) {
    std::string cmd = "command -v " + name + " >/dev/null 2>&1";
    const bool found = std::system(cmd.c_str()) == 0;
    if (!found && in_ci()) ADD_FAILURE() << name << " is not installed (CI installs every tool the tests use)";
    return found;
}

} // namespace tarva::testing_support
