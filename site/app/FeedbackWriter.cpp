#include "FeedbackWriter.h"

#include <cstdio>
#include <vector>

namespace site {

FeedbackWriter::FeedbackWriter(std::string spec, sitestore::RateLimit limit, std::size_t maxQueued,
                               std::size_t maxBatch)
    : spec_(std::move(spec)), limit_(limit), maxQueued_(maxQueued), maxBatch_(maxBatch),
      thread_([this] { Work(); }) {}

FeedbackWriter::~FeedbackWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool FeedbackWriter::Submit(sitestore::Feedback row, Done done) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= maxQueued_)
            return false;
        queue_.push_back({std::move(row), std::move(done)});
    }
    wake_.notify_one();
    return true;
}

void FeedbackWriter::Work() {
    std::unique_ptr<sitestore::Store> store;
    while (true) {
        std::vector<Pending> batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            while (!queue_.empty() && batch.size() < maxBatch_) {
                batch.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
        }
        std::vector<sitestore::Feedback> rows;
        rows.reserve(batch.size());
        for (auto& p : batch)
            rows.push_back(std::move(p.row));
        std::vector<sitestore::InsertOutcome> outcomes;
        std::string error;
        if (!store)
            store = sitestore::OpenStore(spec_, error);
        const bool ok = store && store->InsertFeedback(rows, limit_, outcomes, error);
        if (!ok) {
            std::fprintf(stderr, "quillmate-site: %zu message(s) not stored: %s\n", batch.size(),
                         error.c_str());
            // A broken SQLite handle stays broken; a new one is cheap.
            store.reset();
        }
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (!ok)
                batch[i].done(Result::Failed, 0);
            else if (outcomes[i] == sitestore::InsertOutcome::Stored)
                batch[i].done(Result::Stored, rows[i].id);
            else
                batch[i].done(Result::RateLimited, 0);
        }
    }
}

} // namespace site
