#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace aubrevane::plugin
{

/**
 * Switches on flush-to-zero and denormals-are-zero for one audio block and gives the caller back its own mode
 * when the block ends. Denormals in a decaying filter tail would otherwise cost a hundred times the normal time.
 */
class DenormalGuard
{
public:
    DenormalGuard() noexcept
    {
#if defined(__SSE__) || defined(__x86_64__)
        saved = _mm_getcsr();
        _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero);
#elif defined(__aarch64__)
        asm volatile("mrs %0, fpcr" : "=r"(saved));
        asm volatile("msr fpcr, %0" : : "r"(saved | kAarch64FlushToZero));
#endif
    }
    ~DenormalGuard()
    {
#if defined(__SSE__) || defined(__x86_64__)
        _mm_setcsr(saved);
#elif defined(__aarch64__)
        asm volatile("msr fpcr, %0" : : "r"(saved));
#endif
    }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
#if defined(__SSE__) || defined(__x86_64__)
    static constexpr unsigned kFlushToZero = 0x8000u;
    static constexpr unsigned kDenormalsAreZero = 0x0040u;
    unsigned saved = 0;
#elif defined(__aarch64__)
    static constexpr std::uint64_t kAarch64FlushToZero = 1ull << 24;
    std::uint64_t saved = 0;
#endif
};

/** Marks the calling thread as running the audio road for the lifetime of the mark. */
class AudioRoadMark
{
public:
    AudioRoadMark() noexcept : outer(active) { active = true; }
    ~AudioRoadMark() { active = outer; }
    AudioRoadMark(const AudioRoadMark&) = delete;
    AudioRoadMark& operator=(const AudioRoadMark&) = delete;

    static bool onAudioRoad() noexcept { return active; }

private:
    bool outer;
    static inline thread_local bool active = false;
};

/**
 * The mutex that guards the plug-in's labels. The audio road must never take it; a lock taken inside an
 * AudioRoadMark is counted, so the tests can prove that none happens while blocks run.
 */
class LabelMutex
{
public:
    void lock()
    {
        noteAudioRoad();
        mutex.lock();
    }
    bool try_lock()
    {
        noteAudioRoad();
        return mutex.try_lock();
    }
    void unlock() { mutex.unlock(); }

    /** Locks taken on the audio road by any instance since the program started. */
    static std::int64_t audioRoadLocks() noexcept { return audioRoadLockCount.load(); }

private:
    static void noteAudioRoad() noexcept
    {
        if (AudioRoadMark::onAudioRoad())
            audioRoadLockCount.fetch_add(1);
    }

    std::mutex mutex;
    static inline std::atomic<std::int64_t> audioRoadLockCount{0};
};

} // namespace aubrevane::plugin
