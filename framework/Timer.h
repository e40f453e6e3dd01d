#pragma once

#include <functional>

namespace iplug
{

/**
 * The plug-in's idle timer. There is no run loop of the framework's own on this platform: the host drives the
 * timer from its main loop through the idle call (every 20 ms, IPlugAPIBase::kIdleIntervalMs), so the callback
 * runs on the host's main thread and never on a thread of its own. Stopping it makes later ticks do nothing.
 */
class Timer
{
public:
    using ITimerFunction = std::function<void(Timer&)>;

    explicit Timer(ITimerFunction func) : func(std::move(func)) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    /** Main thread: one tick; false when ignored (stopped, or called from inside a tick). */
    bool Tick()
    {
        if (stopped || ticking || !func)
            return false;
        ticking = true;
        struct Done
        {
            bool& flag;
            ~Done() { flag = false; }
        } done{ticking};
        func(*this);
        return true;
    }
    void Stop() { stopped = true; }

private:
    ITimerFunction func;
    bool stopped = false;
    bool ticking = false;
};

} // namespace iplug
