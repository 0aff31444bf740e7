#include "httpserver/BodyBudget.h"

namespace httpserver {

BodyBudget::Lease::~Lease() {
    budget_->Give(bytes_);
}

bool BodyBudget::Lease::GrowTo(std::size_t bytes) {
    if (bytes <= bytes_)
        return true;
    if (!budget_->Take(bytes - bytes_))
        return false;
    bytes_ = bytes;
    return true;
}

std::size_t BodyBudget::InUse() const {
    std::lock_guard lock(mutex_);
    return used_;
}

bool BodyBudget::Take(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    if (bytes > total_ - used_)
        return false;
    used_ += bytes;
    return true;
}

void BodyBudget::Give(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    used_ -= bytes;
}

} // namespace httpserver
