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

// The engines' worker threads. Each worker owns one Recognizer for its whole
// life, so models are loaded once per thread. Nobody waits on the queue: a job
// comes with its completion, which a worker runs when the job is over. A full
// queue refuses at once, and a job that waited past the longest wait is
// refused rather than run late.
class JobQueue {
public:
    enum class Outcome { Done, Busy, Failed };
    using Job = std::function<void(engine::Recognizer&)>;
    using Completion = std::function<void(Outcome)>;

    JobQueue(unsigned workers, std::size_t maxWaiting, std::chrono::milliseconds maxWait);
    // Refuses the jobs still waiting (Busy) and joins the workers.
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // Queues job; done runs exactly once, on a worker: Done after the job,
    // Failed when it threw, Busy when it waited too long. False when the queue
    // is full or stopping: then neither runs.
    bool Submit(Job job, Completion done);
    bool Full() const;

private:
    struct Task;
    void Work();
    void Expire();

    const std::size_t maxWaiting_;
    const std::chrono::milliseconds maxWait_;
    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable expiry_;
    std::deque<Task> waiting_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace server
