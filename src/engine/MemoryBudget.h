#pragma once

#include "engine/EngineResult.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>

namespace engine {

// A number of bytes that threads reserve before they allocate and give back
// when they are done, so that together they never hold more. A reservation
// that does not fit waits for others to give back, in the order the waits
// began, for at most `patience`; then it is refused with Failure::Busy. One
// that would not fit even into an unused budget is refused at once with
// Failure::TooLarge. Thread-safe.
class MemoryBudget {
public:
    // Called with the bytes given back, outside the budget's lock.
    using Released = std::function<void(std::size_t)>;

    // Reserved bytes, given back when it goes (or shrinks). Move-only; the
    // budget must outlive it.
    class Reservation {
    public:
        Reservation() = default;
        ~Reservation() { ShrinkTo(0); }
        Reservation(Reservation&& other) noexcept;
        Reservation& operator=(Reservation&& other) noexcept;
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;

        std::size_t bytes() const { return bytes_; }
        // Gives back what is over `bytes`; never grows.
        void ShrinkTo(std::size_t bytes);

    private:
        friend class MemoryBudget;
        Reservation(MemoryBudget* budget, std::size_t bytes) : budget_(budget), bytes_(bytes) {}

        MemoryBudget* budget_ = nullptr;
        std::size_t bytes_ = 0;
    };

    MemoryBudget(std::size_t bytes, std::chrono::milliseconds patience, Released released = {});
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // An empty reservation and the reason when refused. Zero bytes always fit.
    Reservation Reserve(std::size_t bytes, Error& error);

    // A new size or patience; reservations already made stay, waiting ones
    // are looked at again.
    void Configure(std::size_t bytes, std::chrono::milliseconds patience);

    std::size_t total() const;
    std::size_t reserved() const;
    std::size_t waiting() const; // reservations waiting for their bytes

private:
    void GiveBack(std::size_t bytes);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t total_;
    std::chrono::milliseconds patience_;
    std::size_t reserved_ = 0;
    std::list<std::size_t> waiting_; // first in line at the front
    const Released released_;
};

} // namespace engine
