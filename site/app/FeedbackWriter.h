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

namespace site {

// Stores feedback on one thread of its own. Posts that arrive while a commit
// runs go into the next transaction together, so one sync to disk confirms
// many rows; each post's callback runs only after its transaction committed
// (or failed).
class FeedbackWriter {
public:
    enum class Result { Stored, RateLimited, Failed };
    using Done = std::function<void(Result result, std::int64_t id)>;

    FeedbackWriter(std::string spec, sitestore::RateLimit limit, std::size_t maxQueued,
                   std::size_t maxBatch = 256);
    ~FeedbackWriter(); // stores what is queued, then joins

    // False when the queue is full.
    bool Submit(sitestore::Feedback row, Done done);

private:
    struct Pending {
        sitestore::Feedback row;
        Done done;
    };
    void Work();

    const std::string spec_;
    const sitestore::RateLimit limit_;
    const std::size_t maxQueued_;
    const std::size_t maxBatch_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Pending> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace site
