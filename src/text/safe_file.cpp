#include "text/safe_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarva {

namespace {

constexpr std::size_t kBufferLimit = 1 << 16;

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

SafeFileWriter::SafeFileWriter(std::string path) : path_(std::move(path)) {}

SafeFileWriter::~SafeFileWriter() { discard(); }

void SafeFileWriter::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool SafeFileWriter::open() {
    discard();
    failed_ = false;
    error_ = 0;
    buffer_.clear();
    if (path_.empty() || path_.back() == '/') {
        error_ = EISDIR;
        return false;
    }
    target_ = path_;
    struct stat st {};
    mode_t mode = 0666;
    bool keep_mode = false;
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Replace the file the link points to, not the link itself.
        char resolved[PATH_MAX];
        if (::realpath(path_.c_str(), resolved)) target_ = resolved;
    }
    if (::stat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return false;
        }
        // A file the user may not write stays as it is, as an ordinary
        // open for writing would refuse it.
        if (::access(target_.c_str(), W_OK) != 0) {
            error_ = errno;
            return false;
        }
        mode = st.st_mode & 07777;
        keep_mode = true;
    } else if (errno != ENOENT) {
        error_ = errno;
        return false;
    }
    const std::string dir = directory_of(target_);
    const std::string base = base_of(target_);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = (dir == "/" ? std::string("/") : dir + "/") + "." + base + ".tmp" +
                           std::to_string(static_cast<long>(::getpid())) + "_" + std::to_string(counter++);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = std::move(name);
            if (keep_mode) (void)::fchmod(fd_, mode);
            return true;
        }
        if (errno != EEXIST) {
            error_ = errno;
            return false;
        }
    }
    error_ = EEXIST;
    return false;
}

void SafeFileWriter::flush_buffer() {
    std::size_t done = 0;
    while (!failed_ && done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            error_ = errno;
        } else if (n == 0) {
            failed_ = true;
            error_ = EIO;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    buffer_.clear();
}

void SafeFileWriter::write(std::string_view bytes) {
    if (fd_ < 0 || failed_) return;
    buffer_.append(bytes);
    if (buffer_.size() >= kBufferLimit) flush_buffer();
}

ReplaceStatus SafeFileWriter::commit() {
    if (fd_ < 0) return ReplaceStatus::OpenFailed;
    flush_buffer();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && !failed_) {
        failed_ = true;
        error_ = errno;
    }
    if (!failed_ && ::rename(temp_.c_str(), target_.c_str()) != 0) {
        failed_ = true;
        error_ = errno;
    }
    if (failed_) {
        discard();
        return ReplaceStatus::WriteFailed;
    }
    temp_.clear();
    return ReplaceStatus::Ok;
}

ReplaceStatus replace_file(const std::string& path, std::string_view contents, int* error) {
    SafeFileWriter w(path);
    ReplaceStatus status = ReplaceStatus::OpenFailed;
    if (w.open()) {
        w.write(contents);
        status = w.commit();
    }
    if (error) *error = w.error();
    return status;
}

} // namespace tarva
