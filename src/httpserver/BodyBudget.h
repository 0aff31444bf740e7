#pragma once

#include <cstddef>
#include <memory>
#include <mutex>

namespace httpserver {

// The bytes of request bodies held at once, across all connections. A body
// takes its share as it arrives; the share goes back when the last holder of
// its lease lets go.
class BodyBudget : public std::enable_shared_from_this<BodyBudget> {
public:
    class Lease {
    public:
        explicit Lease(std::shared_ptr<BodyBudget> budget) : budget_(std::move(budget)) {}
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        // Makes the share at least bytes; false (share unchanged) past the budget.
        bool GrowTo(std::size_t bytes);
        std::size_t Bytes() const { return bytes_; }

    private:
        std::shared_ptr<BodyBudget> budget_;
        std::size_t bytes_ = 0;
    };

    explicit BodyBudget(std::size_t total) : total_(total) {}
    std::shared_ptr<Lease> Open() { return std::make_shared<Lease>(shared_from_this()); }
    std::size_t InUse() const;

private:
    bool Take(std::size_t bytes);
    void Give(std::size_t bytes);

    const std::size_t total_;
    mutable std::mutex mutex_;
    std::size_t used_ = 0;
};

} // namespace httpserver
