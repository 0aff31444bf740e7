#pragma once

#include "AdminSite.h"
#include "FeedbackWriter.h"
#include "ReleaseCache.h"
#include "SiteConfig.h"
#include "StorePool.h"
#include "httpserver/HttpServer.h"

#include <initializer_list>
#include <memory>
#include <string>

namespace site {

// The maker's site: GET /update/quillversion.txt, POST /feedback/addinfo.asp,
// GET /translation.htm and, with a token, /admin/. The schema must be in
// place before it starts.
class SiteServer {
public:
    explicit SiteServer(SiteConfig config);
    ~SiteServer();

    // Binds every address of the configuration; false with the reason.
    bool Listen(std::string& error);
    int Port(std::size_t listener = 0) const { return server_->Port(listener); }
    void Run() { server_->Run(); }
    void Stop() { server_->Stop(); }
    void StopOnSignals(std::initializer_list<int> signals) { server_->StopOnSignals(signals); }

private:
    httpserver::HeadDecision OnHead(const httpserver::Request& head);
    void OnRequest(httpserver::Request request, httpserver::Reply reply);
    // The version file or the product page, from a fresh snapshot.
    httpserver::Response Document(const ReleaseCache::Snapshot& snapshot,
                                  const httpserver::Request& request) const;
    void Feedback(const httpserver::Request& request, httpserver::Reply reply);

    const SiteConfig config_;
    ReleaseCache cache_;
    StorePool pool_;
    FeedbackWriter writer_;
    std::unique_ptr<AdminSite> admin_;
    // Last, so it stops before the workers its handlers use go away.
    std::unique_ptr<httpserver::Server> server_;
};

} // namespace site
