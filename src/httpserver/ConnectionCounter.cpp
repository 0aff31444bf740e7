#include "httpserver/ConnectionCounter.h"

namespace httpserver {

ConnectionCounter::Slot::Slot(std::shared_ptr<ConnectionCounter> counter, std::string client)
    : counter_(std::move(counter)), client_(std::move(client)) {}

ConnectionCounter::Slot::~Slot() {
    if (counter_)
        counter_->Release(client_);
}

std::optional<ConnectionCounter::Slot> ConnectionCounter::TryAdmit(const std::string& client) {
    {
        std::lock_guard lock(mutex_);
        if (total_ >= maxTotal_)
            return std::nullopt;
        unsigned& mine = perClient_[client];
        if (mine >= maxPerClient_) {
            if (mine == 0)
                perClient_.erase(client);
            return std::nullopt;
        }
        ++mine;
        ++total_;
    }
    return Slot(shared_from_this(), client);
}

std::size_t ConnectionCounter::Open() const {
    std::lock_guard lock(mutex_);
    return total_;
}

void ConnectionCounter::Release(const std::string& client) {
    std::lock_guard lock(mutex_);
    --total_;
    const auto it = perClient_.find(client);
    if (it != perClient_.end() && --it->second == 0)
        perClient_.erase(it);
}

} // namespace httpserver
