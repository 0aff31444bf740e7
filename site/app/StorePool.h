#pragma once

#include "sitestore/Store.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace site {

// Worker threads, each with its own database connection, for the requests
// that read (pages, the admin page). A job gets null when its worker has no
// connection (the database is down); the next job tries to connect again.
class StorePool {
public:
    using Job = std::function<void(sitestore::Store* store, const std::string& error)>;

    StorePool(std::string spec, unsigned workers, std::size_t maxQueued);
    ~StorePool(); // runs what is queued, then joins

    // False when the queue is full: the caller answers "busy".
    bool Submit(Job job);

private:
    void Work();

    const std::string spec_;
    const std::size_t maxQueued_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace site
