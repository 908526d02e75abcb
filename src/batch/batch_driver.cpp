#include "batch/batch_driver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <memory>
#include <poll.h>
#include <sched.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "batch/batch_table.h"
#include "batch/batch_worker.h"
#include "io/stop_signal.h"
#include "text/format.h"
#include "text/regular_file.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

using Clock = std::chrono::steady_clock;

// The ~ marker hands a macro at most this many characters of the file name.
constexpr std::size_t kMarkerWidth = 50;

// After Ctrl-C or SIGTERM the running files get this long to stop by
// themselves (the fit ends after its iteration) before they are killed.
constexpr auto kStopGrace = std::chrono::seconds(5);

volatile std::sig_atomic_t g_signals = 0;

// Ctrl-C, SIGTERM and SIGHUP set the stop flag: the driver starts no more
// files, passes the signal to the running ones and writes the table. A
// second signal kills the running files at once; the table is still written.
extern "C" void on_batch_signal(int sig) {
    g_signals = g_signals + 1;
    g_stop_signal = sig;
}

void install_batch_signals() {
    struct sigaction sa {};
    sa.sa_handler = on_batch_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

int processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));
}

// Why a file cannot be run, or empty when it can.
std::string unreadable_reason(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return "unreadable file: " + std::string(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return "unreadable file: not a regular file";
    std::ifstream in;
    if (!open_regular(in, file)) return "unreadable file: it cannot be opened";
    return {};
}

// A log name for each file: its path with "/" as "_", then ".log"; a name
// already taken gets the file's place in the list as well.
std::string log_name(const std::string& file, std::size_t index, std::unordered_map<std::string, int>& taken) {
    std::string base = file;
    std::replace(base.begin(), base.end(), '/', '_');
    if (taken[base]++ > 0) base += "." + free_int(static_cast<long long>(index) + 1).substr(1);
    return base + ".log";
}

// Seconds as given: "2", "1.5".
std::string seconds_text(double seconds) {
    std::string t(trim(free_real(seconds)));
    if (!t.empty() && t.back() == '.') t.pop_back();
    return t;
}

std::string duration_text(double seconds) {
    const long long s = static_cast<long long>(seconds + 0.5);
    const std::string mm = format_I(s / 60 % 60, 2), ss = format_I(s % 60, 2);
    auto two = [](std::string t) {
        for (char& c : t)
            if (c == ' ') c = '0';
        return t;
    };
    if (s >= 3600) return free_int(s / 3600).substr(1) + ":" + two(mm) + ":" + two(ss);
    return free_int(s / 60).substr(1) + ":" + two(ss);
}

// The one updating line on a terminal's standard error.
class Progress {
public:
    Progress(bool on, std::size_t total) : on_(on), total_(total), start_(Clock::now()) {}
    // `ran`: the files of `done` that ran (the rate counts only those).
    void show(std::size_t done, std::size_t failed, std::size_t ran, bool force) {
        if (!on_) return;
        const auto now = Clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        std::string line = "\r" + free_int(static_cast<long long>(done)).substr(1) + "/" +
                           free_int(static_cast<long long>(total_)).substr(1) + " files, " +
                           free_int(static_cast<long long>(failed)).substr(1) + " failed";
        if (ran > 0 && elapsed > 0) {
            const double rate = static_cast<double>(ran) / elapsed;
            line += ", " + std::string(trim(format_F(rate, 12, rate < 10 ? 2 : 1))) + " files/s, " +
                    duration_text(static_cast<double>(total_ - done) / rate) + " left";
        }
        line += "   ";
        write_err(line);
        shown_ = true;
    }
    bool on() const { return on_; }
    void end() {
        if (shown_) write_err("\n");
    }

private:
    static void write_err(const std::string& text) {
        const ssize_t n = ::write(2, text.data(), text.size());
        (void)n;
    }
    bool on_;
    bool shown_ = false;
    std::size_t total_;
    Clock::time_point start_, last_{};
};

struct Running {
    std::size_t row = 0;
    pid_t pid = -1;
    int fd = -1;
    std::string reply;
    Clock::time_point deadline = Clock::time_point::max();
    bool timed_out = false;
};

std::string signal_status(int sig) {
    const char* name = ::strsignal(sig);
    return "crashed: signal " + free_int(sig).substr(1) + (name ? std::string(" (") + name + ")" : std::string());
}

// The table's checked temporary file (none for standard output); false,
// with the reason on err, when it cannot be opened.
bool open_table(const BatchOptions& o, std::unique_ptr<SafeFileWriter>& writer, std::ostream& err) {
    if (o.table == "-") return true;
    writer = std::make_unique<SafeFileWriter>(o.table);
    if (writer->open()) return true;
    err << "tarva: unable to open the table " << o.table << ": " << std::strerror(writer->error()) << "\n";
    return false;
}

bool write_table(const BatchOptions& o, SafeFileWriter* writer, const std::string& text, std::ostream& err) {
    if (!writer) {
        std::cout << text;
        std::cout.flush();
        if (!std::cout) {
            err << "tarva: the table could not be written to standard output\n";
            return false;
        }
        return true;
    }
    writer->write(text);
    if (writer->commit() != ReplaceStatus::Ok) {
        err << "tarva: unable to write the table " << o.table << ": " << std::strerror(writer->error())
            << "; it is left as it was\n";
        return false;
    }
    return true;
}

} // namespace

int run_batch(const BatchOptions& o, std::ostream& err) {
    std::string macro = o.macro;
    if (!is_regular_file(macro) && macro.find('.') == std::string::npos && is_regular_file(macro + ".qvc"))
        macro += ".qvc";
    if (!is_regular_file(macro)) {
        err << "tarva: the macro file " << o.macro << " does not exist or is not a regular file\n";
        return 2;
    }
    // Opened now, so an unwritable table is known before any file runs.
    std::unique_ptr<SafeFileWriter> writer;
    if (!open_table(o, writer, err)) return 2;
    if (!o.logs.empty()) {
        struct stat st {};
        if (::mkdir(o.logs.c_str(), 0777) != 0 && errno != EEXIST) {
            err << "tarva: unable to make the log directory " << o.logs << ": " << std::strerror(errno) << "\n";
            return 2;
        }
        if (::stat(o.logs.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            err << "tarva: the log directory " << o.logs << " is not a directory\n";
            return 2;
        }
    }

    // This run's share of the list: contiguous, so the partial tables of
    // shares 0, 1, ... joined in that order are the table of the whole list.
    const std::size_t n = o.files.size();
    const std::size_t lo = n * static_cast<std::size_t>(o.share) / static_cast<std::size_t>(o.shares);
    const std::size_t hi = n * static_cast<std::size_t>(o.share + 1) / static_cast<std::size_t>(o.shares);
    const std::size_t total = hi - lo;
    std::vector<std::string> rows(total);
    std::vector<bool> decided(total, false), failed(total, false);
    std::vector<std::size_t> queue;
    std::unordered_map<std::string, std::size_t> first;
    for (std::size_t i = 0; i < n; ++i) first.emplace(o.files[i], i);
    std::size_t done = 0, failures = 0, ran = 0;
    auto decide = [&](std::size_t row, const std::string& status, const std::vector<std::string>& fit) {
        rows[row] = table_row(o.files[lo + row], status, fit);
        decided[row] = true;
        failed[row] = status != "ok";
        ++done;
        if (failed[row]) ++failures;
    };
    for (std::size_t r = 0; r < total; ++r) {
        const std::string& file = o.files[lo + r];
        const std::size_t earlier = first[file];
        if (earlier != lo + r)
            decide(r,
                   "duplicate of file " + free_int(static_cast<long long>(earlier) + 1).substr(1) + ": not run again",
                   {});
        else if (file.size() > kMarkerWidth)
            decide(r, "file name longer than 50 characters (the ~ marker's width)", {});
        else if (std::string why = unreadable_reason(file); !why.empty())
            decide(r, why, {});
        else
            queue.push_back(r);
    }

    const int jobs = std::max(1, std::min(o.jobs > 0 ? o.jobs : processors(), static_cast<int>(queue.size())));
    install_batch_signals();
    Progress progress(o.progress && ::isatty(2), total);
    std::unordered_map<std::string, int> log_names;
    std::vector<Running> running;
    std::size_t next = 0;
    bool forwarded = false;
    int killed_at = 0;
    Clock::time_point stop_deadline{};

    auto start = [&](std::size_t row) {
        const std::string& file = o.files[lo + row];
        int log_fd = -1;
        if (!o.logs.empty()) {
            const std::string path = o.logs + "/" + log_name(file, lo + row, log_names);
            log_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
            if (log_fd < 0) {
                decide(row, "unable to open the log " + path + ": " + std::strerror(errno), {});
                return;
            }
        }
        int p[2];
        if (::pipe2(p, O_CLOEXEC) != 0) {
            if (log_fd >= 0) ::close(log_fd);
            decide(row, std::string("not run: no pipe: ") + std::strerror(errno), {});
            return;
        }
        std::cout.flush();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(p[0]);
            run_file_in_child(macro, file, log_fd, p[1], jobs > 1);
        }
        ::close(p[1]);
        if (log_fd >= 0) ::close(log_fd);
        if (pid < 0) {
            ::close(p[0]);
            decide(row, std::string("not run: no process: ") + std::strerror(errno), {});
            return;
        }
        Running r;
        r.row = row;
        r.pid = pid;
        r.fd = p[0];
        if (o.timeout > 0)
            r.deadline =
                Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.timeout));
        running.push_back(std::move(r));
    };

    auto finish = [&](Running& r) {
        ::close(r.fd);
        ++ran;
        int st = 0;
        while (::waitpid(r.pid, &st, 0) < 0 && errno == EINTR) {}
        FileOutcome out;
        const bool whole = decode_outcome(r.reply, out);
        std::string status;
        if (r.timed_out)
            status = "time-out after " + seconds_text(o.timeout) + " s";
        else if (whole && WIFEXITED(st))
            status = out.status;
        else if (stop_signal())
            status = "stopped";
        else if (WIFSIGNALED(st))
            status = signal_status(WTERMSIG(st));
        else
            status = "crashed: exit status " + free_int(WEXITSTATUS(st)).substr(1);
        decide(r.row, status, whole ? out.fit : std::vector<std::string>{});
        progress.show(done, failures, ran, false);
    };

    progress.show(done, failures, ran, true);
    while (true) {
        if (!stop_signal())
            while (static_cast<int>(running.size()) < jobs && next < queue.size()) start(queue[next++]);
        if (running.empty()) break;
        const auto now = Clock::now();
        if (stop_signal() && !forwarded) {
            for (const Running& r : running) ::kill(-r.pid, SIGTERM);
            forwarded = true;
            stop_deadline = now + kStopGrace;
        }
        if (forwarded && killed_at == 0 && (g_signals >= 2 || now >= stop_deadline)) {
            for (const Running& r : running) ::kill(-r.pid, SIGKILL);
            killed_at = 1;
        }
        Clock::time_point wake = forwarded ? now + std::chrono::milliseconds(100) : Clock::time_point::max();
        if (progress.on()) wake = std::min(wake, now + std::chrono::milliseconds(250));
        for (Running& r : running) {
            if (!r.timed_out && now >= r.deadline) {
                ::kill(-r.pid, SIGKILL);
                ::kill(r.pid, SIGKILL); // in case it had not yet made its own group
                r.timed_out = true;
            }
            if (!r.timed_out) wake = std::min(wake, r.deadline);
        }
        std::vector<pollfd> fds;
        for (const Running& r : running) fds.push_back({r.fd, POLLIN, 0});
        int wait_ms = -1;
        if (wake != Clock::time_point::max())
            wait_ms = static_cast<int>(std::clamp<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count() + 1, 0, 60000));
        const int ready = ::poll(fds.data(), fds.size(), wait_ms);
        if (ready < 0 && errno != EINTR) {
            err << "tarva: poll failed: " << std::strerror(errno) << "\n";
            break;
        }
        for (std::size_t k = fds.size(); k-- > 0;) {
            if (ready <= 0 || (fds[k].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buf[4096];
            const ssize_t got = ::read(running[k].fd, buf, sizeof buf);
            if (got < 0 && errno == EINTR) continue;
            if (got > 0) {
                running[k].reply.append(buf, static_cast<std::size_t>(got));
                continue;
            }
            finish(running[k]);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(k));
        }
        progress.show(done, failures, ran, false);
    }
    const std::size_t not_run = total - done;
    for (std::size_t r = 0; r < total; ++r)
        if (!decided[r]) decide(r, "not run: the batch was stopped", {});
    progress.show(done, failures, ran, true);
    progress.end();

    if (!write_table(o, writer.get(), table_text(rows, !o.table_part), err)) return 2;
    if (stop_signal())
        err << "tarva: the batch was stopped; " << free_int(static_cast<long long>(not_run)).substr(1)
            << " file(s) not run\n";
    return failures > 0 || stop_signal() ? 1 : 0;
}

int merge_tables(const BatchOptions& o, std::ostream& err) {
    std::vector<std::string> rows;
    for (const std::string& part : o.files) {
        std::string error;
        auto r = read_table_rows(part, error);
        if (!r) {
            err << "tarva: " << error << "\n";
            return 2;
        }
        rows.insert(rows.end(), r->begin(), r->end());
    }
    std::unique_ptr<SafeFileWriter> writer;
    if (!open_table(o, writer, err)) return 2;
    return write_table(o, writer.get(), table_text(rows, !o.table_part), err) ? 0 : 2;
}

std::optional<int> answer_batch_arguments(int argc, const char* const* argv, std::ostream& err) {
    if (argc < 2) return std::nullopt;
    const std::string_view a = argv[1];
    const bool merge = a == "--merge-tables";
    if (a != "--batch" && !merge) return std::nullopt;
    std::string error;
    auto o = read_batch_options(argc, argv, 2, merge, error);
    if (!o) {
        err << "tarva: " << error << " (tarva --help tells more)\n";
        return 2;
    }
    std::ios::sync_with_stdio(false);
    return merge ? merge_tables(*o, err) : run_batch(*o, err);
}

} // namespace tarva
