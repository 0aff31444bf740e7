#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace engine {
class Recognizer;
}

namespace server {

// The engines' worker threads. Each worker owns one Recognizer for its
// whole life, so models are loaded once per thread. Callers wait for their
// turn in a bounded queue; past its size, or past the longest wait, a job is
// refused rather than left to pile up.
class JobQueue {
public:
    enum class Outcome { Done, Busy, Failed };
    using Job = std::function<void(engine::Recognizer&)>;

    JobQueue(unsigned workers, std::size_t maxWaiting, std::chrono::milliseconds maxWait);
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // Runs job on a worker thread and returns when it has finished (Done),
    // was refused (Busy) or threw (Failed).
    Outcome Run(Job job);

private:
    struct Task;
    void Work();

    const std::size_t maxWaiting_;
    const std::chrono::milliseconds maxWait_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Task>> waiting_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace server
