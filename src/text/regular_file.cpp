#include "text/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarva {

namespace {

bool stat_of(const std::string& name, struct stat& st) {
    if (name.find('\0') != std::string::npos) { // no file has such a name
        errno = ENOENT;
        return false;
    }
    return ::stat(name.c_str(), &st) == 0;
}

} // namespace

bool is_regular_file(const std::string& name) {
    struct stat st {};
    return stat_of(name, st) && S_ISREG(st.st_mode);
}

bool open_regular(std::ifstream& in, const std::string& name) {
    if (!is_regular_file(name)) return false;
    in.open(name, std::ios::in | std::ios::binary);
    return in.is_open();
}

bool may_write_log(const std::string& name) {
    struct stat st {};
    if (!stat_of(name, st)) return errno == ENOENT;
    if (S_ISREG(st.st_mode)) return true;
    if (!S_ISCHR(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    // The null device is a sink a user may log to on purpose, to silence a
    // macro's output.
    struct stat null_device {};
    if (::stat("/dev/null", &null_device) == 0 && S_ISCHR(null_device.st_mode) && st.st_rdev == null_device.st_rdev)
        return true;
    // Another character device: only a terminal. Opened without waiting and
    // without becoming the controlling terminal, only to ask.
    const int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    if (!terminal) errno = ENOTTY;
    return terminal;
}

} // namespace tarva
