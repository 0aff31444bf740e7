#pragma once

#include "AdminAuth.h"
#include "AttemptLimiter.h"
#include "StorePool.h"
#include "httpserver/Handlers.h"

#include <string>
#include <vector>

namespace site {

// The admin page under /admin/: a login form setting an HttpOnly, SameSite
// cookie, the feedback newest first with a search, paged, and a button that
// marks a message answered. Forms that change something carry a token bound
// to the session.
class AdminSite {
public:
    AdminSite(const std::string& token, StorePool& pool,
              const std::vector<std::string>& trustedProxies);

    httpserver::HeadDecision Head(const httpserver::Request& head);
    void Handle(httpserver::Request request, httpserver::Reply reply);

private:
    std::string Session(const httpserver::Request& request) const;
    std::string Client(const httpserver::Request& request) const;
    void Login(const httpserver::Request& request, httpserver::Reply& reply);
    void List(const httpserver::Request& request, const std::string& session,
              httpserver::Reply reply);
    void Answer(const httpserver::Request& request, httpserver::Reply reply);

    AdminAuth auth_;
    AttemptLimiter logins_;
    StorePool& pool_;
    const std::vector<std::string>& trustedProxies_;
};

} // namespace site
