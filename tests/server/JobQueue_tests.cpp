// The engines' job queue without the engines' work: jobs that block until
// released, so every outcome is reached on purpose.
#include "server/JobQueue.h"

#include <future>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;
using server::JobQueue;

TEST(JobQueue, EveryJobGetsExactlyOneOutcome) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<JobQueue::Outcome> blocking, expired, thrown;
    std::promise<JobQueue::Outcome> leftAtExit;
    {
        JobQueue jobs(1, 2, 300ms);
        auto wait = [released](engine::Recognizer&) { released.wait(); };
        ASSERT_TRUE(jobs.Submit(wait, [&](JobQueue::Outcome o) { blocking.set_value(o); }));
        // Give the worker the first job before the second is queued.
        std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(jobs.Submit(wait, [&](JobQueue::Outcome o) { expired.set_value(o); }));
        // Refused past its longest wait while the only worker is still busy.
        auto late = expired.get_future();
        ASSERT_EQ(late.wait_for(5s), std::future_status::ready);
        EXPECT_EQ(late.get(), JobQueue::Outcome::Busy);

        ASSERT_TRUE(jobs.Submit([](engine::Recognizer&) { throw std::runtime_error("x"); },
                                [&](JobQueue::Outcome o) { thrown.set_value(o); }));
        ASSERT_TRUE(jobs.Submit(wait, [&](JobQueue::Outcome o) { leftAtExit.set_value(o); }));
        EXPECT_TRUE(jobs.Full());
        bool ranAnyway = false;
        EXPECT_FALSE(jobs.Submit(wait, [&](JobQueue::Outcome) { ranAnyway = true; }));
        release.set_value();
        EXPECT_EQ(blocking.get_future().get(), JobQueue::Outcome::Done);
        EXPECT_EQ(thrown.get_future().get(), JobQueue::Outcome::Failed);
        EXPECT_FALSE(ranAnyway);
    }
    EXPECT_NE(leftAtExit.get_future().wait_for(0s), std::future_status::timeout);
}

} // namespace
