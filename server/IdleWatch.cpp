#include "server/IdleWatch.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>

namespace server {

struct IdleWatch::State {
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    bool stopped = false;
    std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();

    void End() {
        {
            std::lock_guard lock(mutex);
            --running;
            lastActivity = std::chrono::steady_clock::now();
        }
        changed.notify_all();
    }
};

IdleWatch::IdleWatch(std::chrono::milliseconds limit, std::function<void()> onIdle)
    : state_(std::make_shared<State>()),
      thread_(
          [state = state_, limit, onIdle = std::move(onIdle)] { Watch(state, limit, onIdle); }) {}

IdleWatch::~IdleWatch() {
    Stop();
    thread_.join();
}

std::shared_ptr<void> IdleWatch::Begin() {
    {
        std::lock_guard lock(state_->mutex);
        ++state_->running;
    }
    return std::shared_ptr<void>(state_.get(), [state = state_](void*) { state->End(); });
}

void IdleWatch::Stop() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopped = true;
    }
    state_->changed.notify_all();
}

void IdleWatch::Watch(const std::shared_ptr<State>& state, std::chrono::milliseconds limit,
                      const std::function<void()>& onIdle) {
    // Named so a look at the process's threads finds it.
    pthread_setname_np(pthread_self(), "quill-idlewatch");
    std::unique_lock lock(state->mutex);
    while (!state->stopped) {
        if (state->running > 0) {
            state->changed.wait(lock);
            continue;
        }
        const auto deadline = state->lastActivity + limit;
        if (std::chrono::steady_clock::now() >= deadline) {
            state->stopped = true;
            lock.unlock();
            onIdle();
            return;
        }
        state->changed.wait_until(lock, deadline);
    }
}

} // namespace server
