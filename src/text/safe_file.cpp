#include "text/safe_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
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

const std::string& host_name() {
    static const std::string name = [] {
        char buf[256] = {};
        if (::gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return std::string("localhost");
        std::string n(buf, std::min<std::size_t>(std::strlen(buf), 64)); // HOST_NAME_MAX
        for (char& c : n)
            if (c == '/') c = '_';
        return n;
    }();
    return name;
}

bool all_digits(std::string_view s, std::size_t most) {
    return !s.empty() && s.size() <= most &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The writing process of a temporary file of this host named by
// temporary_name, or 0 for any other name.
long writer_of(std::string_view name) {
    constexpr std::string_view suffix = ".tmp";
    if (name.empty() || name[0] != '.' || !name.ends_with(suffix)) return 0;
    name.remove_suffix(suffix.size());
    const std::size_t serial = name.rfind('-');
    if (serial == std::string_view::npos || serial == 0 || !all_digits(name.substr(serial + 1), 10)) return 0;
    const std::size_t pid = name.rfind('-', serial - 1);
    if (pid == std::string_view::npos || !name.substr(0, pid).ends_with(".tarva-" + host_name())) return 0;
    const std::string_view writer = name.substr(pid + 1, serial - pid - 1);
    return all_digits(writer, 9) ? std::stol(std::string(writer)) : 0;
}

// Removes the temporary files of this host in `dir` whose writer no longer
// runs (killed between writing and renaming), once per directory and run.
// A process of another host (a directory shared by batch runs on several
// machines) cannot be asked, so its files stay; so do those of a process
// that runs, or that another user runs.
void remove_abandoned_temporaries(const std::string& dir) {
    static std::mutex mutex;
    static std::set<std::string> swept; // real paths: "." changes with the working directory
    char* real = ::realpath(dir.c_str(), nullptr);
    if (!real) return;
    const std::string key(real);
    std::free(real);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(key).second) return;
    }
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    const std::string prefix = dir == "/" ? std::string("/") : dir + "/";
    while (const dirent* e = ::readdir(d)) {
        const long pid = writer_of(e->d_name);
        if (pid == 0 || pid == static_cast<long>(::getpid())) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        const std::string path = prefix + e->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    }
    ::closedir(d);
}

} // namespace

std::string temporary_name(const std::string& target, unsigned serial) {
    const std::string dir = directory_of(target);
    const std::string tag = ".tarva-" + host_name() + "-" + std::to_string(static_cast<long>(::getpid())) + "-" +
                            std::to_string(serial) + ".tmp";
    // A long target name is cut, so that the temporary's name is never too
    // long where the target's is not; the tag that names the writer stays.
    std::string base = base_of(target);
    if (1 + base.size() + tag.size() > NAME_MAX) base.resize(NAME_MAX - 1 - tag.size());
    return (dir == "/" ? std::string("/") : dir + "/") + "." + base + tag;
}

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
    remove_abandoned_temporaries(directory_of(target_));
    static std::atomic<unsigned> counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporary_name(target_, counter++);
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
