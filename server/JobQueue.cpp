#include "server/JobQueue.h"

#include "engine/Recognizer.h"

#include <algorithm>

namespace server {

struct JobQueue::Task {
    Job job;
    bool started = false;
    bool finished = false;
    bool threw = false;
};

JobQueue::JobQueue(unsigned workers, std::size_t maxWaiting, std::chrono::milliseconds maxWait)
    : maxWaiting_(maxWaiting), maxWait_(maxWait) {
    for (unsigned i = 0; i < std::max(1u, workers); ++i)
        threads_.emplace_back([this] { Work(); });
}

JobQueue::~JobQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

JobQueue::Outcome JobQueue::Run(Job job) {
    auto task = std::make_shared<Task>();
    task->job = std::move(job);
    std::unique_lock lock(mutex_);
    if (stopping_ || waiting_.size() >= maxWaiting_)
        return Outcome::Busy;
    waiting_.push_back(task);
    work_.notify_one();
    if (!done_.wait_for(lock, maxWait_, [&] { return task->started; })) {
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), task));
        return Outcome::Busy;
    }
    done_.wait(lock, [&] { return task->finished; });
    return task->threw ? Outcome::Failed : Outcome::Done;
}

void JobQueue::Work() {
    // Made on this thread and kept for its life: one recogniser per worker.
    engine::Recognizer recognizer;
    std::unique_lock lock(mutex_);
    while (true) {
        work_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty())
            return;
        std::shared_ptr<Task> task = waiting_.front();
        waiting_.pop_front();
        task->started = true;
        done_.notify_all();
        lock.unlock();
        try {
            task->job(recognizer);
        } catch (...) {
            task->threw = true;
        }
        lock.lock();
        task->finished = true;
        done_.notify_all();
    }
}

} // namespace server
