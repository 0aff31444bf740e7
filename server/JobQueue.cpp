#include "server/JobQueue.h"

#include "engine/Recognizer.h"

#include <algorithm>

namespace server {

struct JobQueue::Task {
    Job job;
    Completion done;
    std::chrono::steady_clock::time_point deadline;
};

JobQueue::JobQueue(unsigned workers, std::size_t maxWaiting, std::chrono::milliseconds maxWait)
    : maxWaiting_(maxWaiting), maxWait_(maxWait) {
    for (unsigned i = 0; i < std::max(1u, workers); ++i)
        threads_.emplace_back([this] { Work(); });
    threads_.emplace_back([this] { Expire(); });
}

JobQueue::~JobQueue() {
    std::deque<Task> left;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        left.swap(waiting_);
    }
    work_.notify_all();
    expiry_.notify_all();
    for (Task& task : left)
        task.done(Outcome::Busy);
    for (std::thread& thread : threads_)
        thread.join();
}

bool JobQueue::Submit(Job job, Completion done) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || waiting_.size() >= maxWaiting_)
            return false;
        waiting_.push_back(
            {std::move(job), std::move(done), std::chrono::steady_clock::now() + maxWait_});
    }
    work_.notify_one();
    expiry_.notify_one();
    return true;
}

bool JobQueue::Full() const {
    std::lock_guard lock(mutex_);
    return waiting_.size() >= maxWaiting_;
}

void JobQueue::Work() {
    // Made on this thread and kept for its life: one recogniser per worker.
    engine::Recognizer recognizer;
    std::unique_lock lock(mutex_);
    while (true) {
        work_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        Task task = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        Outcome outcome = Outcome::Done;
        try {
            task.job(recognizer);
        } catch (...) {
            outcome = Outcome::Failed;
        }
        task.done(outcome);
        task = {};
        lock.lock();
    }
}

// Sleeps until the oldest waiting job's deadline; only a job that is still
// waiting then is refused.
void JobQueue::Expire() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (waiting_.empty()) {
            expiry_.wait(lock);
            continue;
        }
        const auto deadline = waiting_.front().deadline;
        if (std::chrono::steady_clock::now() < deadline) {
            expiry_.wait_until(lock, deadline);
            continue;
        }
        Task task = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        task.done(Outcome::Busy);
        task = {};
        lock.lock();
    }
}

} // namespace server
