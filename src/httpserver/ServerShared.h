#pragma once

#include "httpserver/BodyBudget.h"
#include "httpserver/ConnectionCounter.h"
#include "httpserver/Handlers.h"
#include "httpserver/Limits.h"

#include <memory>
#include <mutex>

namespace httpserver::detail {

// What every connection of one server shares. It outlives the server while a
// connection, a request or a Reply still holds it.
struct ServerShared {
    ServerShared(Limits limits, Handlers handlers)
        : limits(limits), handlers(std::move(handlers)),
          budget(std::make_shared<BodyBudget>(limits.bodyBudgetBytes)),
          counter(std::make_shared<ConnectionCounter>(limits.maxConnections,
                                                      limits.maxConnectionsPerClient)) {}

    const Limits limits;
    const Handlers handlers;
    const std::shared_ptr<BodyBudget> budget;
    const std::shared_ptr<ConnectionCounter> counter;
    // Closed before the server's I/O context goes away; a Reply posts only
    // while it is open.
    std::mutex gateMutex;
    bool gateOpen = true;
};

} // namespace httpserver::detail
