#pragma once
// A thread that runs a piece of work each time it is woken, until stopped.
// Waking is an atomic increment and a futex wake-up, never a lock, so the
// audio thread may wake it; wake-ups that arrive while the work runs are not
// lost, they run it once more.

#include <atomic>
#include <thread>
#include <utility>

namespace vh {

class WorkerThread {
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { stop(); }

    template <class Work>
    void start(Work work) {
        mThread = std::thread([this, work = std::move(work)]() mutable {
            int seen = 0;
            while (!mStop.load(std::memory_order_acquire)) {
                mWake.wait(seen, std::memory_order_acquire);
                seen = mWake.load(std::memory_order_acquire);
                work();
            }
        });
    }
    void wake() {
        mWake.fetch_add(1, std::memory_order_release);
        mWake.notify_one();
    }
    // Lets the work finish its round and waits for the thread.
    void stop() {
        if (!mThread.joinable()) return;
        mStop.store(true, std::memory_order_release);
        wake();
        mThread.join();
    }

private:
    std::atomic<int> mWake{0};
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

}  // namespace vh
