#include "fitting/parallel.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tarva {

namespace {

// Below this many points a second thread costs more than it saves.
constexpr int kMinSplit = 64;
// A point range is cut into this many pieces, so that whichever thread is
// free takes the next one and nobody waits for a thread that was late.
constexpr int kPieces = 16;

std::atomic<bool> g_enabled{true};

// hardware_concurrency reads a system file at every call; ask once.
bool two_cores() {
    static const bool answer = std::thread::hardware_concurrency() >= 2;
    return answer;
}

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
            if (spin > 4000) std::this_thread::yield();
            else cpu_relax();
        }
    }

private:
    // Claims the next piece of generation `gen`, or -1 when there is none.
    int take(std::uint64_t gen) {
        std::uint64_t s = claim_.load(std::memory_order_acquire);
        for (;;) {
            if (s >> 32 != gen) return -1;
            const int next = static_cast<int>(s & 0xffff);
            const int count = static_cast<int>(s >> 16 & 0xffff);
            if (next >= count) return -1;
            if (claim_.compare_exchange_weak(s, s + 1, std::memory_order_acq_rel, std::memory_order_acquire)) return next;
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
    std::thread thread_;
};

// Never destroyed: the thread ends with the process. Joining it at exit
// would wait until a sleeping helper is scheduled once more.
Helper& helper() {
    static Helper* h = new Helper;
    return *h;
}

bool helper_wanted() { return g_enabled.load(std::memory_order_relaxed) && two_cores(); }

} // namespace

void set_parallel(bool enabled) { g_enabled.store(enabled); }

void wake_helper() {
    if (helper_wanted()) helper().run(nullptr, nullptr, 0, 1, 0);
}

void run_split_raw(int n, void (*body)(void*, int, int), void* context) {
    if (n < kMinSplit || !helper_wanted()) {
        body(context, 0, n);
        return;
    }
    const int size = (n + kPieces - 1) / kPieces;
    helper().run(body, context, n, size, (n + size - 1) / size);
}

void run_halves_raw(void (*body)(void*, int, int), void* context) {
    if (!helper_wanted()) {
        body(context, 0, 1);
        body(context, 1, 2);
        return;
    }
    helper().run(body, context, 2, 1, 2);
}

} // namespace tarva
