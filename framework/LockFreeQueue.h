#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace iplug
{

/**
 * A fixed-capacity queue for one producer thread and one consumer thread. Neither side waits or allocates:
 * a push into a full queue is refused and a pop from an empty one reports nothing.
 */
template <typename T, std::size_t N> class LockFreeQueue
{
public:
    bool Push(const T& item) noexcept // producer thread
    {
        const std::size_t tail = writePos.load(std::memory_order_relaxed);
        const std::size_t next = (tail + 1) % (N + 1);
        if (next == readPos.load(std::memory_order_acquire))
            return false;
        slots[tail] = item;
        writePos.store(next, std::memory_order_release);
        return true;
    }

    bool Pop(T& item) noexcept // consumer thread
    {
        const std::size_t head = readPos.load(std::memory_order_relaxed);
        if (head == writePos.load(std::memory_order_acquire))
            return false;
        item = slots[head];
        readPos.store((head + 1) % (N + 1), std::memory_order_release);
        return true;
    }

private:
    std::array<T, N + 1> slots{}; // one slot stays empty to tell full from empty
    std::atomic<std::size_t> readPos{0};
    std::atomic<std::size_t> writePos{0};
};

} // namespace iplug
