#include "fitting/parallel.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarva {

namespace {

// Below this many points a second thread costs more than it saves.
constexpr int kMinSplit = 64;

std::atomic<bool> g_enabled{true};

// One helper thread, started on first use. It spins briefly after each job
// (the next job of a fit usually follows within microseconds) and then
// sleeps on the condition variable.
class Helper {
public:
    Helper() : thread_([this] { loop(); }) {}
    ~Helper() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    void post(void (*body)(void*, int, int), void* context, int begin, int end) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            body_ = body;
            context_ = context;
            begin_ = begin;
            end_ = end;
            done_.store(false, std::memory_order_relaxed);
            ++generation_;
            pending_.store(generation_, std::memory_order_release);
        }
        wake_.notify_one();
    }

    void wait() {
        for (int spin = 0; !done_.load(std::memory_order_acquire); ++spin) {
            if (spin > 2000) std::this_thread::yield();
        }
    }

private:
    void loop() {
        unsigned long seen = 0;
        for (;;) {
            // Spin for a short while before sleeping.
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
            while (pending_.load(std::memory_order_acquire) == seen && std::chrono::steady_clock::now() < until) {
            }
            void (*body)(void*, int, int) = nullptr;
            void* context = nullptr;
            int begin = 0, end = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
                body = body_;
                context = context_;
                begin = begin_;
                end = end_;
            }
            body(context, begin, end);
            done_.store(true, std::memory_order_release);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    unsigned long generation_ = 0;
    std::atomic<unsigned long> pending_{0};
    std::atomic<bool> done_{true};
    void (*body_)(void*, int, int) = nullptr;
    void* context_ = nullptr;
    int begin_ = 0;
    int end_ = 0;
    std::thread thread_;
};

Helper& helper() {
    static Helper h;
    return h;
}

} // namespace

void set_parallel(bool enabled) { g_enabled.store(enabled); }

void run_split_raw(int n, void (*body)(void*, int, int), void* context) {
    if (n < kMinSplit || !g_enabled.load(std::memory_order_relaxed) || std::thread::hardware_concurrency() < 2) {
        body(context, 0, n);
        return;
    }
    const int mid = n / 2;
    Helper& h = helper();
    h.post(body, context, mid, n);
    body(context, 0, mid);
    h.wait();
}

void run_halves_raw(void (*body)(void*, int, int), void* context) {
    if (!g_enabled.load(std::memory_order_relaxed) || std::thread::hardware_concurrency() < 2) {
        body(context, 0, 1);
        body(context, 1, 2);
        return;
    }
    Helper& h = helper();
    h.post(body, context, 1, 2);
    body(context, 0, 1);
    h.wait();
}

} // namespace tarva
