#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace httpserver {

// Open connections in all and per client (an address or a uid), so one client
// cannot take every slot.
class ConnectionCounter : public std::enable_shared_from_this<ConnectionCounter> {
public:
    // Held by an admitted connection for its life.
    class Slot {
    public:
        Slot(std::shared_ptr<ConnectionCounter> counter, std::string client);
        Slot(Slot&& other) noexcept = default;
        Slot& operator=(Slot&&) = delete;
        ~Slot();

    private:
        std::shared_ptr<ConnectionCounter> counter_;
        std::string client_;
    };

    ConnectionCounter(unsigned maxTotal, unsigned maxPerClient)
        : maxTotal_(maxTotal), maxPerClient_(maxPerClient) {}
    // Empty when the server or this client is at its limit.
    std::optional<Slot> TryAdmit(const std::string& client);
    std::size_t Open() const;

private:
    void Release(const std::string& client);

    const unsigned maxTotal_;
    const unsigned maxPerClient_;
    mutable std::mutex mutex_;
    std::size_t total_ = 0;
    std::map<std::string, unsigned, std::less<>> perClient_;
};

} // namespace httpserver
