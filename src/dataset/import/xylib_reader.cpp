#include "dataset/import/xylib_reader.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dataset/import/text_scan.h"
#include "io/stop_signal.h"

extern char** environ;

namespace tarva {

#ifndef TARVA_LIB_DIR
#define TARVA_LIB_DIR "/usr/local/lib/tarva/"
#endif

namespace {

// A reply larger than this is not read further (the reader program sends
// at most kXylibMostValues numbers).
constexpr std::size_t kLargestReply = std::size_t{256} << 20;

bool executable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

std::string beside_this_program() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string self(buf, static_cast<std::size_t>(n));
    const std::size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string() : self.substr(0, slash + 1) + "tarva-xylib";
}

struct Pipe {
    int fd[2] = {-1, -1};
    ~Pipe() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
};

std::string joined(const std::vector<std::string>& items) {
    std::string s;
    for (const std::string& i : items) s += (s.empty() ? "" : ", ") + i;
    return s;
}

// Coefficients of energy = c0 + c1 ch + c2 ch^2 through the values at
// channels 1, 2 and 3 (the layouts' X columns are such polynomials).
std::vector<double> polynomial_of(const std::vector<double>& x) {
    if (x.size() < 3) return {};
    const double c2 = (x[2] - 2 * x[1] + x[0]) / 2;
    const double c1 = x[1] - x[0] - 3 * c2;
    const double c0 = x[0] - c1 - c2;
    if (c1 == 0 && c2 == 0) return {};
    // Rounding leaves a tiny quadratic term on a straight line.
    if (std::abs(c2) <= 1e-9 * std::abs(c1)) return {c0, c1};
    return {c0, c1, c2};
}

std::optional<double> meta_number(const XylibReply& r, const std::string& key) {
    auto v = r.meta_value(key);
    if (!v) return std::nullopt;
    return parse_number(trim(*v));
}

} // namespace

std::string xylib_reader_program() {
    if (const char* env = std::getenv("TARVA_XYLIB_READER"); env && *env) return executable(env) ? env : "";
    for (const std::string& candidate : {beside_this_program(), std::string(TARVA_LIB_DIR) + "tarva-xylib"})
        if (executable(candidate)) return candidate;
    return {};
}

Outcome<XylibReply> run_xylib_reader(const std::string& program, const std::string& path, double seconds) {
    using Failure = Outcome<XylibReply>;
    Pipe out;
    if (::pipe2(out.fd, O_CLOEXEC) != 0) return Failure::failure("no pipe for the xylib reader");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program_arg = program, path_arg = path;
    char* argv[] = {program_arg.data(), path_arg.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return Failure::failure("cannot start the xylib reader " + program);
    ::close(out.fd[1]);
    out.fd[1] = -1;

    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool timed_out = false, stopped = false, too_long = false;
    char buf[65536];
    for (;;) {
        if (stop_requested()) {
            stopped = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            timed_out = true;
            break;
        }
        pollfd p{out.fd[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const ssize_t n = ::read(out.fd[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        reply.append(buf, static_cast<std::size_t>(n));
        if (reply.size() > kLargestReply) {
            too_long = true;
            break;
        }
    }
    const bool ended = !(timed_out || stopped || too_long);
    if (!ended) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (timed_out)
        return Failure::failure("the xylib reader gave no answer within " +
                                std::to_string(static_cast<int>(std::ceil(seconds))) + " s");
    if (stopped) return Failure::failure("the xylib reader was stopped by a signal");
    if (too_long) return Failure::failure("the xylib reader's answer is too long");
    if (WIFSIGNALED(status))
        return Failure::failure("the xylib reader ended on signal " + std::to_string(WTERMSIG(status)) +
                                " (xylib could not cope with the file)");
    auto decoded = decode_xylib_reply(reply);
    if (!decoded) return Failure::failure("the xylib reader gave no whole answer");
    return {std::move(*decoded), {}};
}

ReadOutcome spectrum_of_reply(const XylibReply& r) {
    if (r.kind == XylibReply::Kind::error) return ReadOutcome::failure(r.format + " (xylib): " + r.error);
    if (r.kind == XylibReply::Kind::none)
        return ReadOutcome::failure("none of xylib's layouts fits: " + joined(r.tried));
    if (r.columns.empty() || r.columns.front().empty())
        return ReadOutcome::failure(r.description + " (xylib): no data");
    InstrumentSpectrum s;
    s.layout = r.description + " (xylib)";
    s.title = r.title;
    if (s.title.empty()) s.title = r.meta_value("description").value_or(r.meta_value("title").value_or(""));
    if (r.blocks > 1) s.notes.push_back(std::to_string(r.blocks) + " blocks in the file: the first read");
    for (const std::string& n : r.notes) s.notes.push_back(n);
    const bool mca = r.format == "canberra_cnf" || r.format == "canberra_mca";
    if (mca && r.columns.size() >= 2) {
        // Counts per channel; xylib numbers these layouts' channels from 1.
        s.counts = r.columns[1];
        s.first_channel = 1;
        std::vector<double> meta_cal;
        for (int i = 0; i < 3; ++i)
            if (auto c = meta_number(r, "energy calib " + std::to_string(i))) meta_cal.push_back(*c);
        if (meta_cal.size() == 3 && meta_cal[2] == 0) meta_cal.pop_back();
        s.calibration = meta_cal.size() >= 2 ? meta_cal : polynomial_of(r.columns[0]);
        s.live_time = meta_number(r, "live time (s)");
        s.real_time = meta_number(r, "real time (s)");
        return {std::move(s), {}};
    }
    s.table.names = r.column_names;
    s.table.columns = r.columns;
    s.table.names.resize(s.table.columns.size());
    return {std::move(s), {}};
}

ReadOutcome read_with_xylib(const FileBytes& file) {
    const std::string program = xylib_reader_program();
    if (program.empty()) return ReadOutcome::failure("xylib's layouts not tried: the program tarva-xylib is missing");
    auto reply = run_xylib_reader(program, file.path);
    if (!reply) return ReadOutcome::failure(reply.error);
    return spectrum_of_reply(*reply.value);
}

} // namespace tarva
