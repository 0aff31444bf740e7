#include "StorePool.h"

#include <algorithm>

namespace site {

StorePool::StorePool(std::string spec, unsigned workers, std::size_t maxQueued)
    : spec_(std::move(spec)), maxQueued_(maxQueued) {
    for (unsigned i = 0; i < std::max(1u, workers); ++i)
        threads_.emplace_back([this] { Work(); });
}

StorePool::~StorePool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_)
        t.join();
}

bool StorePool::Submit(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= maxQueued_)
            return false;
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

void StorePool::Work() {
    std::unique_ptr<sitestore::Store> store;
    while (true) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        std::string error;
        if (!store)
            store = sitestore::OpenStore(spec_, error);
        job(store.get(), error);
    }
}

} // namespace site
