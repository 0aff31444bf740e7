#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace server {

// Calls onIdle once no request has run for the whole limit. Its thread sleeps
// while requests run and wakes only for the deadline when none does.
class IdleWatch {
public:
    IdleWatch(std::chrono::milliseconds limit, std::function<void()> onIdle);
    ~IdleWatch();
    IdleWatch(const IdleWatch&) = delete;
    IdleWatch& operator=(const IdleWatch&) = delete;

    // A request runs while the returned token lives (it may outlive the watch);
    // its end counts as activity.
    std::shared_ptr<void> Begin();
    void Stop();

private:
    struct State;
    static void Watch(const std::shared_ptr<State>& state, std::chrono::milliseconds limit,
                      const std::function<void()>& onIdle);

    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace server
