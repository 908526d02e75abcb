// Replacing a user's file without ever destroying it half-way.
//
// The new contents go to a temporary file in the target's directory; every
// write and the close are checked, and only then is the temporary renamed
// over the target, which is atomic on POSIX file systems. On any failure the
// target keeps its earlier contents and the temporary is removed, so a full
// disk or an I/O error can never leave a truncated file behind a message of
// success.
#pragma once

#include <string>
#include <string_view>

namespace tarva {

enum class ReplaceStatus {
    Ok,
    OpenFailed,  // the file cannot be written there (no directory, no
                 // permission, the target is a directory or read-only)
    WriteFailed, // a write, the close or the rename failed; target untouched
};

// Streams the new contents of one file. Typical use:
//   SafeFileWriter w(name);
//   if (!w.open()) { ...Unable to open... }
//   w.write(...); ...
//   if (w.commit() != ReplaceStatus::Ok) { ...Unable to write... }
// A writer destroyed without commit removes its temporary file.
class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string path);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Creates the temporary file. False when the target cannot be written.
    bool open();
    // Buffers bytes; a failed flush is remembered and reported by commit.
    void write(std::string_view bytes);
    // Writes what is buffered, closes and renames over the target.
    ReplaceStatus commit();

    // errno of the first failure (0 when none).
    int error() const { return error_; }

private:
    void flush_buffer();
    void discard();

    std::string path_;   // the target as given
    std::string target_; // where the rename goes (a symbolic link is followed)
    std::string temp_;
    std::string buffer_;
    int fd_ = -1;
    int error_ = 0;
    bool failed_ = false;
};

// The temporary file that replaces `target`: ".NAME.tarva-HOST-PID-N.tmp"
// beside it (the host, the writing process's id, a serial number). A
// writer opened in a directory first removes the temporary files there of
// this host whose process no longer runs (one killed between writing and
// renaming); those of other hosts and of running processes stay.
std::string temporary_name(const std::string& target, unsigned serial);

// Replaces the whole file at once. `error` (may be null) receives errno.
ReplaceStatus replace_file(const std::string& path, std::string_view contents, int* error = nullptr);

} // namespace tarva
