#pragma once
// Parameter changes handed to whoever holds the processing lock next: a
// bounded lock-free queue (Vyukov's sequenced ring) that any thread may add
// to without waiting, and that the lock holder empties in order.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vh {

class ParameterQueue {
public:
    ParameterQueue() {
        for (std::size_t i = 0; i < kCapacity; ++i) mCells[i].sequence.store(i, std::memory_order_relaxed);
    }

    // False when full: the caller then waits for the lock instead.
    bool push(int index, float value) {
        std::size_t position = mTail.load(std::memory_order_relaxed);
        for (;;) {
            Cell& cell = mCells[position & (kCapacity - 1)];
            std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
            auto lag = static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(position);
            if (lag == 0) {
                if (mTail.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                    cell.index = index;
                    cell.value = value;
                    cell.sequence.store(position + 1, std::memory_order_release);
                    return true;
                }
            } else if (lag < 0) {
                return false;
            } else {
                position = mTail.load(std::memory_order_relaxed);
            }
        }
    }

    // Only by the holder of the processing lock, so one taker at a time.
    bool pop(int& index, float& value) {
        std::size_t position = mHead.load(std::memory_order_relaxed);
        Cell& cell = mCells[position & (kCapacity - 1)];
        std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
        if (static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(position + 1) < 0) return false;
        index = cell.index;
        value = cell.value;
        cell.sequence.store(position + kCapacity, std::memory_order_release);
        mHead.store(position + 1, std::memory_order_relaxed);
        return true;
    }

    bool empty() const {
        std::size_t position = mHead.load(std::memory_order_relaxed);
        const Cell& cell = mCells[position & (kCapacity - 1)];
        return cell.sequence.load(std::memory_order_acquire) != position + 1;
    }

private:
    // Enough for every parameter several times over between two blocks.
    static constexpr std::size_t kCapacity = 4096;
    struct Cell {
        std::atomic<std::size_t> sequence;
        int index;
        float value;
    };
    Cell mCells[kCapacity];
    alignas(64) std::atomic<std::size_t> mTail{0};
    alignas(64) std::atomic<std::size_t> mHead{0};
};

}  // namespace vh
