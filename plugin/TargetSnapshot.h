#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace aubrevane::plugin
{

inline constexpr int kTargetBands = 12;

/** A plain copy of a target as it crosses threads: what a TargetSnapshot holds between its version steps. */
struct TargetValues
{
    std::array<double, kTargetBands> offsetDecibels{};
    std::array<double, kTargetBands> balance{};
    bool valid = false;
};

/**
 * A target record that one thread writes and others copy without a lock. The version is odd while a write is under
 * way; a reader copies the fields between two loads of the version and keeps the copy only when both loads match and
 * are even. Every field is an atomic, so a reader that overlaps a writer reads stale or new values, never torn ones,
 * and the version check throws such a copy away.
 */
struct TargetSnapshot
{
    std::atomic<std::uint32_t> version{0};
    std::array<std::atomic<double>, kTargetBands> offsetDecibels{};
    std::array<std::atomic<double>, kTargetBands> balance{};
    std::atomic<bool> valid{false};

    // any thread, the record's only writer; never blocks
    void write(const TargetValues& values) noexcept
    {
        version.fetch_add(1, std::memory_order_relaxed);
        storeFields(values);
        version.fetch_add(1, std::memory_order_release);
    }

    // any thread, for a record with more than one writer: claims the record by turning an even version odd and
    // writes it; false, without waiting, when another writer holds it (the caller tries again later)
    [[nodiscard]] bool tryWrite(const TargetValues& values) noexcept
    {
        std::uint32_t seen = version.load(std::memory_order_relaxed);
        if ((seen & 1u) != 0)
            return false;
        if (!version.compare_exchange_strong(seen, seen + 1, std::memory_order_relaxed))
            return false;
        storeFields(values);
        version.store(seen + 2, std::memory_order_release);
        return true;
    }

    // any thread; one attempt of the reading protocol, true when `out` holds a consistent copy
    [[nodiscard]] bool tryRead(TargetValues& out) const noexcept
    {
        const std::uint32_t before = version.load(std::memory_order_acquire);
        if ((before & 1u) != 0)
            return false;
        TargetValues copy;
        for (int k = 0; k < kTargetBands; ++k)
        {
            copy.offsetDecibels[k] = offsetDecibels[k].load(std::memory_order_acquire);
            copy.balance[k] = balance[k].load(std::memory_order_acquire);
        }
        copy.valid = valid.load(std::memory_order_acquire);
        if (version.load(std::memory_order_relaxed) != before)
            return false;
        out = copy;
        return true;
    }

    // any thread; up to `attempts` tries in a row
    [[nodiscard]] bool read(TargetValues& out, int attempts) const noexcept
    {
        for (int i = 0; i < attempts; ++i)
            if (tryRead(out))
                return true;
        return false;
    }

private:
    // Release stores and acquire loads of the fields (instead of fences, which ThreadSanitizer does not model): a
    // reader that sees any field of a write also sees the odd version stored before it, so its second version load
    // cannot match the first.
    void storeFields(const TargetValues& values) noexcept
    {
        for (int k = 0; k < kTargetBands; ++k)
        {
            offsetDecibels[k].store(values.offsetDecibels[k], std::memory_order_release);
            balance[k].store(values.balance[k], std::memory_order_release);
        }
        valid.store(values.valid, std::memory_order_release);
    }
};

static_assert(std::atomic<double>::is_always_lock_free && std::atomic<std::uint32_t>::is_always_lock_free);

} // namespace aubrevane::plugin
