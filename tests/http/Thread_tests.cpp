#include "HttpTestUtil.h"
#include "http/auThread.h"

#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Worker {
    QObject owner;
    TauCustomThread* thread = new TauCustomThread(&owner);
};

TEST(HttpThread, ExecuteOnWorkerThenFinishOnUiThread) {
    Worker w;
    const auto ui = std::this_thread::get_id();
    std::thread::id executedOn, finishedOn;
    std::atomic<int> executes{0};
    QObject* sender = nullptr;
    w.thread->OnExecute = [&](QObject*) {
        executedOn = std::this_thread::get_id();
        ++executes;
    };
    w.thread->OnFinish = [&](QObject* s) {
        finishedOn = std::this_thread::get_id();
        sender = s;
        EXPECT_FALSE(w.thread->Running()); // cleared before the finish step
    };
    for (int run = 0; run < 2; ++run) {
        finishedOn = {};
        ASSERT_TRUE(w.thread->StartWorker());
        ASSERT_TRUE(SpinUntil([&] { return finishedOn != std::thread::id{}; }));
        EXPECT_NE(executedOn, ui);
        EXPECT_EQ(finishedOn, ui);
        EXPECT_EQ(sender, &w.owner);
        EXPECT_EQ(executes.load(), run + 1);
    }
    EXPECT_EQ(executes.load(), 2);
}

TEST(HttpThread, RunInMainThreadBlocksAndSwallowsExceptions) {
    Worker w;
    std::vector<int> order;
    bool done = false;
    w.thread->OnExecute = [&](QObject*) {
        for (int i = 0; i < 3; ++i) {
            const bool ran = TauCustomThread::RunInMainThread([&, i] {
                order.push_back(i);
                if (i == 1)
                    throw std::runtime_error("handler failed");
            });
            EXPECT_TRUE(ran);
            order.push_back(10 + i); // the worker resumes only after the call
        }
    };
    w.thread->OnFinish = [&](QObject*) { done = true; };
    ASSERT_TRUE(w.thread->StartWorker());
    ASSERT_TRUE(SpinUntil([&] { return done; }));
    EXPECT_EQ(order, std::vector<int>({0, 10, 1, 11, 2, 12}));
}

TEST(HttpThread, ExecuteExceptionGoesToOnExceptionThenFinish) {
    Worker w;
    QStringList log;
    w.thread->OnExecute = [](QObject*) { throw std::runtime_error("boom"); };
    w.thread->OnException = [&](QObject*) { log << "exception"; };
    w.thread->OnFinish = [&](QObject*) {
        log << "finish";
        throw std::runtime_error("finish failed");
    };
    ASSERT_TRUE(w.thread->StartWorker());
    ASSERT_TRUE(SpinUntil([&] { return log.size() == 3; }));
    EXPECT_EQ(log, QStringList({"exception", "finish", "exception"}));
}

TEST(HttpThread, WaitThreadServesCallsAndReturnsAfterFinish) {
    Worker w;
    int calls = 0;
    bool finished = false;
    w.thread->WaitThread = true;
    w.thread->OnExecute = [&](QObject*) {
        for (int i = 0; i < 5; ++i)
            TauCustomThread::RunInMainThread([&] { ++calls; });
    };
    w.thread->OnFinish = [&](QObject*) { finished = true; };
    EXPECT_TRUE(w.thread->StartWorker());
    EXPECT_TRUE(finished);
    EXPECT_EQ(calls, 5);
}

TEST(HttpThread, WaitTimeoutStopsTheWorkerWithoutWaitingForIt) {
    Worker w;
    std::atomic<bool> release{false};
    std::atomic<bool> workerLeft{false};
    bool finished = false, lateCall = false;
    int timeouts = 0;
    w.thread->WaitThread = true;
    w.thread->WaitTimeout = 300;
    w.thread->OnExecute = [&](QObject*) {
        while (!release && !TauCustomThread::Stopped())
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(50ms);
        // A stopped worker's calls are never run.
        EXPECT_FALSE(TauCustomThread::RunInMainThread([&] { lateCall = true; }));
        workerLeft = true;
    };
    w.thread->OnFinish = [&](QObject*) { finished = true; };
    w.thread->OnWaitTimeout = [&](QObject*) { ++timeouts; };
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(w.thread->StartWorker());
    EXPECT_GE(clock.elapsed(), 280);
    EXPECT_EQ(timeouts, 1);
    EXPECT_FALSE(w.thread->Running());
    ASSERT_TRUE(SpinUntil([&] { return workerLeft.load(); }));
    SpinFor(50);
    EXPECT_FALSE(finished);
    EXPECT_FALSE(lateCall);
}

TEST(HttpThread, WaitLimitRestartsWithEveryEvent) {
    Worker w;
    w.thread->WaitThread = true;
    w.thread->WaitTimeout = 200;
    int calls = 0;
    // 6 calls 100 ms apart: 600 ms in all, but never 200 ms without an event.
    w.thread->OnExecute = [&](QObject*) {
        for (int i = 0; i < 6; ++i) {
            std::this_thread::sleep_for(100ms);
            TauCustomThread::RunInMainThread([&] { ++calls; });
        }
    };
    EXPECT_TRUE(w.thread->StartWorker());
    EXPECT_EQ(calls, 6);
}

TEST(HttpThread, ResetDropsQueuedCallsAndFreesTheWorker) {
    std::atomic<bool> stoppedSeen{false};
    bool ran = false;
    {
        Worker w;
        std::atomic<bool> queued{false};
        w.thread->OnExecute = [&](QObject*) {
            queued = true;
            const bool delivered = TauCustomThread::RunInMainThread([&] { ran = true; });
            stoppedSeen = !delivered && TauCustomThread::Stopped();
        };
        ASSERT_TRUE(w.thread->StartWorker());
        while (!queued)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms); // the call sits in the queue now
        w.thread->ResetWorker();
        EXPECT_FALSE(w.thread->Running());
    }
    SpinUntil([&] { return stoppedSeen.load(); });
    SpinFor(20);
    EXPECT_TRUE(stoppedSeen);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(SpinUntil([] { return TauCustomThread::LiveCount() == 0; }));
}

TEST(HttpThread, PriorityIsKeptForFreshThreads) {
    Worker w;
    EXPECT_EQ(w.thread->Priority(), tpNormal);
    w.thread->SetPriority(tpLower);
    int nice = 0;
    bool done = false;
    w.thread->OnExecute = [&](QObject*) {
        nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    };
    w.thread->OnFinish = [&](QObject*) { done = true; };
    for (int run = 0; run < 2; ++run) {
        done = false;
        ASSERT_TRUE(w.thread->StartWorker());
        ASSERT_TRUE(SpinUntil([&] { return done; }));
        EXPECT_EQ(w.thread->Priority(), tpLower);
    }
    EXPECT_EQ(nice, NiceOfPriority(tpLower));
    EXPECT_GT(nice, 0);
    EXPECT_EQ(NiceOfPriority(tpNormal), 0);
    EXPECT_LT(NiceOfPriority(tpTimeCritical), NiceOfPriority(tpHigher));
}

TEST(HttpThread, WaitSurvivesAFinishHandlerThatDestroysTheOwner) {
    auto* owner = new QObject;
    auto* thread = new TauCustomThread(owner);
    thread->WaitThread = true;
    thread->WaitTimeout = 5000;
    thread->OnExecute = [](QObject*) {};
    thread->OnFinish = [owner](QObject*) { delete owner; }; // takes the waiting component along
    EXPECT_TRUE(thread->StartWorker());
}

} // namespace
