#include "wendlebrak/updates/BackgroundRunner.h"

#include "wendlebrak/net/Http.h"

#include <memory>
#include <utility>

namespace wendlebrak::updates
{

BackgroundRunner::~BackgroundRunner()
{
    stop();
}

bool BackgroundRunner::post(std::function<void()> step)
{
    if (!step)
        return false;
    try
    {
        const std::lock_guard lock(mutex);
        if (stopped || queue.size() >= kMaxQueuedSteps)
            return false;
        if (!thread.joinable())
            thread = std::thread([this] { run(); });
        queue.push_back(std::move(step));
    }
    catch (...)
    {
        return false; // no thread or no memory: the step simply does not run
    }
    wake.notify_one();
    return true;
}

bool BackgroundRunner::runAndWait(std::function<void()> step)
{
    if (!step)
        return false;
    struct Completion
    {
        std::mutex mutex;
        std::condition_variable done;
        bool ran = false;
        bool finished = false;
    };
    // Shared, because a step dropped by stop() is destroyed on another thread while this one waits.
    const auto completion = std::make_shared<Completion>();
    struct Signal
    {
        explicit Signal(std::shared_ptr<Completion> shared) : completion(std::move(shared)) {}
        Signal(const Signal&) = delete;
        Signal& operator=(const Signal&) = delete;
        ~Signal()
        {
            const std::lock_guard lock(completion->mutex);
            completion->finished = true;
            completion->done.notify_all();
        }
        std::shared_ptr<Completion> completion;
    };
    auto signal = std::make_shared<Signal>(completion); // tells the waiter when the step is done or dropped
    const bool posted = post(
        [step = std::move(step), signal = std::move(signal)]() mutable
        {
            {
                const std::lock_guard lock(signal->completion->mutex);
                signal->completion->ran = true;
            }
            step();
        });
    if (!posted)
        return false;
    std::unique_lock lock(completion->mutex);
    completion->done.wait(lock, [&] { return completion->finished; });
    return completion->ran;
}

void BackgroundRunner::stop()
{
    std::deque<std::function<void()>> dropped;
    std::thread worker;
    {
        const std::lock_guard lock(mutex);
        stopped = true;
        stopRequested.store(true);
        dropped.swap(queue);
        worker.swap(thread);
    }
    wake.notify_all();
    dropped.clear();
    if (worker.joinable())
        worker.join();
}

void BackgroundRunner::run()
{
    const net::StopScope transfersStopWith(stopRequested);
    while (true)
    {
        std::function<void()> step;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [this] { return stopped || !queue.empty(); });
            if (stopped)
                return;
            step = std::move(queue.front());
            queue.pop_front();
        }
        try
        {
            step();
        }
        catch (...)
        {
            // A step reports its own trouble; one that throws anyway must not end the runner.
        }
    }
}

} // namespace wendlebrak::updates
