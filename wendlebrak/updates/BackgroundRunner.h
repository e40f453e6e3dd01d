#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace wendlebrak::updates
{

/**
 * One worker thread for the blocking network steps of the maker's plug-ins, so that no step ever runs on the audio
 * or user-interface thread. The thread starts with the first step. stop() ends the step that is running (its
 * transfer sees the stop request within about a second), drops the queued ones and joins, so unloading the library
 * never leaves a thread inside the transport. A step that throws is caught and counts as done.
 */
class BackgroundRunner
{
public:
    /** The most steps waiting at once; a host that builds many instances at once cannot grow the queue further. */
    static constexpr size_t kMaxQueuedSteps = 64;

    BackgroundRunner() = default;
    ~BackgroundRunner();
    BackgroundRunner(const BackgroundRunner&) = delete;
    BackgroundRunner& operator=(const BackgroundRunner&) = delete;

    /** Any thread: queues a step. False when the runner was stopped, the queue is full or the step is empty. */
    bool post(std::function<void()> step);
    /** Any thread but the runner's own: runs the step on the runner and waits for it. False when it did not run. */
    bool runAndWait(std::function<void()> step);
    /** Any thread but the runner's own: ends the running step, drops the queued ones and joins; later posts fail. */
    void stop();

private:
    void run();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> queue;
    bool stopped = false;
    std::atomic<bool> stopRequested{false}; // read by the transport's progress callback on the runner thread
    std::thread thread;
};

} // namespace wendlebrak::updates
