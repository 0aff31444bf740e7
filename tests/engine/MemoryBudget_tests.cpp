#include "engine/MemoryBudget.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <random>
#include <thread>
#include <vector>

namespace {

using engine::Failure;
using engine::MemoryBudget;
using namespace std::chrono_literals;

void WaitUntilWaiting(const MemoryBudget& budget, std::size_t count) {
    while (budget.waiting() < count)
        std::this_thread::sleep_for(1ms);
}

TEST(MemoryBudget, GrantsWhatFitsAndRefusesTheRest) {
    MemoryBudget budget(100, 20ms);
    engine::Error error;
    MemoryBudget::Reservation held = budget.Reserve(60, error);
    ASSERT_FALSE(error);
    struct Case {
        const char* name;
        std::size_t bytes;
        Failure failure;
    } const cases[] = {
        {"what is left", 40, Failure::None},
        {"one byte more than is left", 41, Failure::Busy},
        {"the whole budget, while some is out", 100, Failure::Busy},
        {"more than the whole budget", 101, Failure::TooLarge},
        {"nothing", 0, Failure::None},
    };
    for (const Case& c : cases) {
        const MemoryBudget::Reservation r = budget.Reserve(c.bytes, error);
        EXPECT_EQ(error.failure, c.failure) << c.name << ": " << error.text;
        EXPECT_EQ(r.bytes(), c.failure == Failure::None ? c.bytes : 0) << c.name;
        EXPECT_EQ(error.text.empty(), c.failure == Failure::None) << c.name;
        EXPECT_EQ(budget.reserved(), 60 + r.bytes()) << c.name;
    }
    EXPECT_EQ(budget.waiting(), 0u);
    held = {};
    EXPECT_EQ(budget.reserved(), 0u);
    EXPECT_EQ(budget.Reserve(100, error).bytes(), 100u) << error.text;
}

TEST(MemoryBudget, ShrinkingAndMovingGiveBackExactlyOnce) {
    std::size_t given = 0;
    MemoryBudget budget(100, 0ms, [&given](std::size_t bytes) { given += bytes; });
    engine::Error error;
    MemoryBudget::Reservation a = budget.Reserve(70, error);
    a.ShrinkTo(90); // never grows
    EXPECT_EQ(a.bytes(), 70u);
    a.ShrinkTo(30);
    EXPECT_EQ(budget.reserved(), 30u);
    EXPECT_EQ(given, 40u);

    MemoryBudget::Reservation b = std::move(a);
    EXPECT_EQ(a.bytes(), 0u);
    a = {}; // the moved-from one gives back nothing
    EXPECT_EQ(budget.reserved(), 30u);
    MemoryBudget::Reservation c = budget.Reserve(50, error);
    b = std::move(c); // b's 30 go back, c's 50 stay
    EXPECT_EQ(budget.reserved(), 50u);
    b = {};
    EXPECT_EQ(budget.reserved(), 0u);
    EXPECT_EQ(given, 120u);
}

TEST(MemoryBudget, WaitersAreServedInTurn) {
    MemoryBudget budget(100, 60s);
    engine::Error error;
    MemoryBudget::Reservation held = budget.Reserve(100, error);
    std::atomic<int> order = 0;
    std::atomic<int> bigTurn = -1, smallTurn = -1;
    std::promise<void> finish;
    std::shared_future<void> finished = finish.get_future().share();
    const auto wait = [&](std::size_t bytes, std::atomic<int>& turn) {
        return std::async(std::launch::async, [&, bytes] {
            engine::Error e;
            MemoryBudget::Reservation r = budget.Reserve(bytes, e);
            turn = order++;
            finished.wait(); // holds its bytes until the test is done
            return e.failure;
        });
    };
    auto big = wait(80, bigTurn);
    WaitUntilWaiting(budget, 1);
    auto small = wait(10, smallTurn);
    WaitUntilWaiting(budget, 2);
    // Room for the small one only: it stays behind the big one.
    held.ShrinkTo(70);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(budget.waiting(), 2u);
    EXPECT_EQ(budget.reserved(), 70u);
    held = {};
    WaitUntilWaiting(budget, 0);
    while (order < 2)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(bigTurn, 0);
    EXPECT_EQ(smallTurn, 1);
    EXPECT_EQ(budget.reserved(), 90u);
    finish.set_value();
    EXPECT_EQ(big.get(), Failure::None);
    EXPECT_EQ(small.get(), Failure::None);
    EXPECT_EQ(budget.reserved(), 0u);
}

TEST(MemoryBudget, ANewSizeReachesThoseWaiting) {
    MemoryBudget budget(100, 60s);
    engine::Error error;
    const MemoryBudget::Reservation held = budget.Reserve(100, error);
    auto grows = std::async(std::launch::async, [&budget] {
        engine::Error e;
        budget.Reserve(50, e);
        return e.failure;
    });
    WaitUntilWaiting(budget, 1);
    budget.Configure(150, 60s);
    EXPECT_EQ(grows.get(), Failure::None);

    auto shrinks = std::async(std::launch::async, [&budget] {
        engine::Error e;
        budget.Reserve(120, e);
        return e.failure;
    });
    WaitUntilWaiting(budget, 1);
    budget.Configure(110, 60s);
    EXPECT_EQ(shrinks.get(), Failure::TooLarge);
    // Lowered below what is out: nothing more until enough comes back.
    budget.Configure(50, 0ms);
    EXPECT_EQ(budget.Reserve(1, error).bytes(), 0u);
    EXPECT_EQ(error.failure, Failure::Busy);
}

TEST(MemoryBudget, ManyThreadsNeverHoldMoreThanTheBudget) {
    constexpr std::size_t kTotal = 1000;
    MemoryBudget budget(kTotal, 1ms);
    std::atomic<std::size_t> inUse = 0, most = 0;
    std::atomic<int> granted = 0, busy = 0, tooLarge = 0;
    std::vector<std::thread> threads;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        threads.emplace_back([&, seed] {
            std::mt19937 random(seed);
            for (int i = 0; i < 300; ++i) {
                const std::size_t bytes = random() % (kTotal + 100);
                engine::Error error;
                MemoryBudget::Reservation r = budget.Reserve(bytes, error);
                if (error.failure == Failure::Busy)
                    ++busy;
                if (error.failure == Failure::TooLarge)
                    ++tooLarge;
                if (error)
                    continue;
                ++granted;
                const std::size_t now = inUse += bytes;
                std::size_t seen = most;
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
                // Counted out before the budget sees it back.
                if (random() % 2) {
                    inUse -= bytes - bytes / 2;
                    r.ShrinkTo(bytes / 2);
                }
                inUse -= r.bytes();
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    std::printf("[ budget   ] granted %d, busy %d, too large %d, most held %zu of %zu\n",
                granted.load(), busy.load(), tooLarge.load(), most.load(), kTotal);
    EXPECT_LE(most.load(), kTotal);
    EXPECT_GT(granted.load(), 0);
    EXPECT_GT(tooLarge.load(), 0);
    EXPECT_EQ(budget.reserved(), 0u);
    EXPECT_EQ(budget.waiting(), 0u);
}

} // namespace
