#include "fitting/parallel.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tarva {

namespace {

// Below this many points a second thread costs more than it saves.
constexpr int kMinSplit = 64;
// A point range is cut into this many pieces, so that whichever thread is
// free takes the next one and nobody waits for a thread that was late.
constexpr int kPieces = 16;

// A problem below this many point evaluations per pass (points times one
// more than the varied parameters) is done faster than handed over.
constexpr int kMinWork = 2048;

std::atomic<HelperUse> g_use{HelperUse::when_it_pays};

// hardware_concurrency reads a system file at every call; ask once.
int cores() {
    static const int answer = static_cast<int>(std::thread::hardware_concurrency());
    return answer;
}

bool two_cores() { return cores() >= 2; }

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// One helper thread, started on first use, that shares the pieces of a job
// with the calling thread.
//
// The caller never waits for the helper to start: both take pieces from one
// counter, and the caller only waits for pieces the helper has already
// begun. A helper that is asleep or not scheduled (a freshly started thread
// on a virtual machine can take milliseconds) therefore costs nothing; the
// caller simply does all the pieces. Each piece writes only its own entries,
// so the result is the same whoever computes which piece.
//
// The counter word holds the job's generation (upper 32 bits), the number of
// pieces (16 bits) and the next piece (16 bits). A helper only touches a
// job's description after it has claimed a piece of that very generation;
// the caller does not return (and so does not describe the next job) before
// every claimed piece is finished.
class Helper {
public:
    Helper() : thread_([this] { loop(); }) { thread_.detach(); }

    // Runs pieces [0, count): piece c covers [c * size, min(n, c * size + size)).
    void run(void (*body)(void*, int, int), void* context, int n, int size, int count) {
        body_ = body;
        context_ = context;
        n_ = n;
        size_ = size;
        finished_.store(0, std::memory_order_relaxed);
        std::uint64_t gen = ++generation_ & 0xffffffffu;
        if (gen == 0) gen = ++generation_ & 0xffffffffu; // 0 is the helper's "nothing seen yet"
        claim_.store(gen << 32 | static_cast<std::uint64_t>(count) << 16, std::memory_order_seq_cst);
        if (sleeping_.load(std::memory_order_seq_cst)) {
            std::lock_guard<std::mutex> lock(mutex_);
            wake_.notify_one();
        }
        int mine = 0;
        for (int c; (c = take(gen)) >= 0; ++mine) do_piece(c);
        for (int spin = 0; mine + finished_.load(std::memory_order_acquire) < count; ++spin) {
            if (spin > 4000)
                std::this_thread::yield();
            else
                cpu_relax();
        }
    }

    // Whether the helper is spinning or working (not asleep).
    bool awake() const { return !sleeping_.load(std::memory_order_relaxed); }

    // One job at a time: a second thread's job (another session fitting at
    // the same time, as the Python module allows) runs on that thread
    // alone, with the same result, instead of overwriting the job the
    // helper works on.
    bool try_claim() { return !in_use_.exchange(true, std::memory_order_acquire); }
    void release() { in_use_.store(false, std::memory_order_release); }

private:
    // Claims the next piece of generation `gen`, or -1 when there is none.
    int take(std::uint64_t gen) {
        std::uint64_t s = claim_.load(std::memory_order_acquire);
        for (;;) {
            if (s >> 32 != gen) return -1;
            const int next = static_cast<int>(s & 0xffff);
            const int count = static_cast<int>(s >> 16 & 0xffff);
            if (next >= count) return -1;
            if (claim_.compare_exchange_weak(s, s + 1, std::memory_order_acq_rel, std::memory_order_acquire))
                return next;
        }
    }

    void do_piece(int c) {
        const int begin = c * size_;
        const int end = begin + size_ < n_ ? begin + size_ : n_;
        body_(context_, begin, end);
    }

    std::uint64_t current_generation() const { return claim_.load(std::memory_order_seq_cst) >> 32; }

    void loop() {
        std::uint64_t seen = 0;
        for (;;) {
            // Spin for a short while (the next job of a fit usually follows
            // within microseconds), then sleep.
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
            for (int spin = 1; current_generation() == seen; ++spin) {
                cpu_relax();
                if (spin % 64 != 0) continue;
                // The scheduler may have put both threads on one processor:
                // then the waiting helper must not hold it against the caller.
                std::this_thread::yield();
                if (std::chrono::steady_clock::now() >= until) {
                    std::unique_lock<std::mutex> lock(mutex_);
                    sleeping_.store(true, std::memory_order_seq_cst);
                    wake_.wait(lock, [&] { return current_generation() != seen; });
                    sleeping_.store(false, std::memory_order_relaxed);
                    break;
                }
            }
            seen = current_generation();
            for (int c; (c = take(seen)) >= 0;) {
                do_piece(c);
                finished_.fetch_add(1, std::memory_order_release);
            }
        }
    }

    // Written by the caller only, read by the helper only after a claim.
    void (*body_)(void*, int, int) = nullptr;
    void* context_ = nullptr;
    int n_ = 0;
    int size_ = 1;
    std::uint64_t generation_ = 0; // the caller's own count

    std::atomic<std::uint64_t> claim_{0};
    std::atomic<int> finished_{0}; // pieces the helper finished
    std::atomic<bool> sleeping_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> in_use_{false};
    std::thread thread_;
};

// Never destroyed: the thread ends with the process. Joining it at exit
// would wait until a sleeping helper is scheduled once more.
std::atomic<Helper*> g_helper{nullptr};

Helper& helper() {
    static Helper* h = [] {
        auto* made = new Helper;
        g_helper.store(made, std::memory_order_release);
        return made;
    }();
    return *h;
}

bool helper_started() { return g_helper.load(std::memory_order_acquire) != nullptr; }

bool helper_allowed() { return g_use.load(std::memory_order_relaxed) != HelperUse::never && two_cores(); }

// The helper exists and is awake (spinning, or working).
bool helper_running() { return helper_started() && helper().awake(); }

int runnable_tasks() {
    const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char buf[128];
    const ssize_t got = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (got <= 0) return -1;
    return runnable_tasks_from(std::string_view(buf, static_cast<std::size_t>(got)));
}

} // namespace

void set_helper_use(HelperUse use) { g_use.store(use); }

int runnable_tasks_from(std::string_view text) {
    // Skip three fields, then read the digits before the slash.
    std::size_t pos = 0;
    for (int field = 0; field < 3; ++field) {
        pos = text.find(' ', pos);
        if (pos == std::string_view::npos) return -1;
        while (pos < text.size() && text[pos] == ' ') ++pos;
    }
    int value = 0;
    std::size_t digits = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 9; ++pos, ++digits)
        value = value * 10 + (text[pos] - '0');
    if (digits == 0 || pos >= text.size() || text[pos] != '/') return -1;
    return value;
}

bool helper_pays_on(int points, int varied, int cores, int runnable, bool helper_awake) {
    if (cores < 2 || points < kMinSplit) return false;
    if (static_cast<long>(points) * (varied + 1) < kMinWork) return false;
    if (runnable < 0) return true;
    const int others = runnable - 1 - (helper_awake ? 1 : 0);
    return others < cores - 1;
}

bool helper_pays(int points, int varied) {
    switch (g_use.load(std::memory_order_relaxed)) {
    case HelperUse::never: return false;
    case HelperUse::always: return two_cores();
    case HelperUse::when_it_pays: break;
    }
    return helper_pays_on(points, varied, cores(), runnable_tasks(), helper_running());
}

void wake_helper() {
    if (helper_allowed()) helper().run(nullptr, nullptr, 0, 1, 0);
}

void run_split_raw(int n, bool use_helper, void (*body)(void*, int, int), void* context) {
    if (!use_helper || n < kMinSplit || !helper_allowed()) {
        body(context, 0, n);
        return;
    }
    Helper& h = helper();
    if (!h.try_claim()) {
        body(context, 0, n);
        return;
    }
    const int size = (n + kPieces - 1) / kPieces;
    h.run(body, context, n, size, (n + size - 1) / size);
    h.release();
}

void run_halves_raw(bool use_helper, void (*body)(void*, int, int), void* context) {
    if (!use_helper || !helper_allowed()) {
        body(context, 0, 1);
        body(context, 1, 2);
        return;
    }
    Helper& h = helper();
    if (!h.try_claim()) {
        body(context, 0, 1);
        body(context, 1, 2);
        return;
    }
    h.run(body, context, 2, 1, 2);
    h.release();
}

} // namespace tarva
