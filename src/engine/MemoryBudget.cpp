#include "engine/MemoryBudget.h"

#include <cstdio>
#include <string>
#include <utility>

namespace engine {

namespace {

std::string Mib(std::size_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / (1 << 20));
    return text;
}

} // namespace

MemoryBudget::Reservation::Reservation(Reservation&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

MemoryBudget::Reservation& MemoryBudget::Reservation::operator=(Reservation&& other) noexcept {
    if (this != &other) {
        ShrinkTo(0);
        budget_ = std::exchange(other.budget_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

void MemoryBudget::Reservation::ShrinkTo(std::size_t bytes) {
    if (bytes >= bytes_)
        return;
    const std::size_t back = bytes_ - bytes;
    bytes_ = bytes;
    budget_->GiveBack(back);
}

MemoryBudget::MemoryBudget(std::size_t bytes, std::chrono::milliseconds patience, Released released)
    : total_(bytes), patience_(patience), released_(std::move(released)) {}

MemoryBudget::Reservation MemoryBudget::Reserve(std::size_t bytes, Error& error) {
    error = {};
    if (bytes == 0)
        return {};
    std::unique_lock lock(mutex_);
    const auto tooLarge = [&] { return bytes > total_; };
    // The total may have been lowered below what is already out.
    const auto fits = [&] { return reserved_ <= total_ && bytes <= total_ - reserved_; };
    bool granted = !tooLarge() && waiting_.empty() && fits();
    if (!granted && !tooLarge()) {
        const auto place = waiting_.insert(waiting_.end(), bytes);
        granted = changed_.wait_for(
            lock, patience_, [&] { return tooLarge() || (place == waiting_.begin() && fits()); });
        waiting_.erase(place);
        // Whoever is next in line looks again, whether this one took its
        // bytes or left.
        changed_.notify_all();
    }
    if (tooLarge()) {
        error = {Failure::TooLarge,
                 "needs " + Mib(bytes) + ", more than the whole budget of " + Mib(total_)};
        return {};
    }
    if (!granted) {
        error = {Failure::Busy, "needs " + Mib(bytes) + " while other requests hold " +
                                    Mib(reserved_) + " of the " + Mib(total_) +
                                    " budget; try again"};
        return {};
    }
    reserved_ += bytes;
    return {this, bytes};
}

void MemoryBudget::Configure(std::size_t bytes, std::chrono::milliseconds patience) {
    {
        std::lock_guard lock(mutex_);
        total_ = bytes;
        patience_ = patience;
    }
    changed_.notify_all();
}

std::size_t MemoryBudget::total() const {
    std::lock_guard lock(mutex_);
    return total_;
}

std::size_t MemoryBudget::reserved() const {
    std::lock_guard lock(mutex_);
    return reserved_;
}

std::size_t MemoryBudget::waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

void MemoryBudget::GiveBack(std::size_t bytes) {
    {
        std::lock_guard lock(mutex_);
        reserved_ -= bytes;
    }
    changed_.notify_all();
    if (released_)
        released_(bytes);
}

} // namespace engine
