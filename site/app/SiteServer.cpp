#include "SiteServer.h"

#include "Answers.h"
#include "siteweb/ClientAddress.h"
#include "siteweb/FeedbackForm.h"
#include "siteweb/FeedbackReply.h"
#include "siteweb/UtcTime.h"

#include <cstdio>

namespace site {

namespace {

const char* const kVersionPath = "/update/quillversion.txt";
const char* const kFeedbackPath = "/feedback/addinfo.asp";
const char* const kProductPath = "/translation.htm";

httpserver::Response Refused(int status, const char* reason, const char* retryAfter = nullptr) {
    httpserver::Response r = FeedbackPage(status, siteweb::FeedbackRefusedPage(reason));
    if (retryAfter)
        r.headers.emplace_back("Retry-After", retryAfter);
    return r;
}

} // namespace

SiteServer::SiteServer(SiteConfig config)
    : config_(std::move(config)), cache_(config_.releaseMaxAge),
      pool_(config_.database, config_.workers, 1024),
      writer_(config_.database, config_.rate, 4096) {
    if (!config_.adminToken.empty())
        admin_ = std::make_unique<AdminSite>(config_.adminToken, pool_, config_.trustedProxies);
    httpserver::Handlers handlers;
    handlers.onHead = [this](const httpserver::Request& head) { return OnHead(head); };
    handlers.onRequest = [this](httpserver::Request request, httpserver::Reply reply) {
        OnRequest(std::move(request), std::move(reply));
    };
    server_ = std::make_unique<httpserver::Server>(config_.limits, std::move(handlers));
}

SiteServer::~SiteServer() {
    server_.reset();
}

bool SiteServer::Listen(std::string& error) {
    for (const auto& where : config_.listen)
        if (!server_->Listen(where, error))
            return false;
    return true;
}

httpserver::Response SiteServer::Document(const ReleaseCache::Snapshot& snapshot,
                                          const httpserver::Request& request) const {
    const bool version = request.path == kVersionPath;
    if (version && !snapshot.hasRelease)
        return httpserver::Response::Text(404, "no release is published yet");
    const ReleaseCache::Document& doc = version ? snapshot.versionFile : snapshot.productPage;
    httpserver::Response r;
    r.contentType = version ? "text/plain; charset=utf-8" : "text/html; charset=utf-8";
    // Short, so a new release reaches everyone soon even through caches.
    r.headers = {{"Cache-Control", "public, max-age=60"}, {"ETag", doc.etag}};
    if (MatchesEtag(request.Header("If-None-Match"), doc.etag)) {
        r.status = 304;
        return r;
    }
    r.body = doc.body;
    return r;
}

httpserver::HeadDecision SiteServer::OnHead(const httpserver::Request& head) {
    httpserver::HeadDecision decision;
    if (head.path == kVersionPath || head.path == kProductPath) {
        if (head.method != "GET" && head.method != "HEAD")
            decision.answerNow = NotAllowed("GET, HEAD");
        else if (auto snapshot = cache_.Fresh())
            decision.answerNow = Document(*snapshot, head);
        decision.maxBodyBytes = 0;
    } else if (head.path == kFeedbackPath) {
        if (head.method != "POST")
            decision.answerNow = NotAllowed("POST");
        decision.maxBodyBytes = siteweb::kMaxFeedbackBody;
        // Announced too long: our own page at once, rather than the reading limit's.
        // Bad input is answered 200 with a page without the marker, so the
        // program's dialog says the message failed rather than the connection.
        std::size_t length = 0;
        for (char c : head.Header("Content-Length"))
            if (c >= '0' && c <= '9' && length <= siteweb::kMaxFeedbackBody)
                length = length * 10 + std::size_t(c - '0');
        if (length > siteweb::kMaxFeedbackBody)
            decision.answerNow = Refused(200, "留言过长");
    } else if (head.path == "/") {
        decision.answerNow = SeeOther(kProductPath);
    } else if (head.path.rfind("/admin", 0) == 0 && admin_) {
        decision = admin_->Head(head);
    } else {
        decision.answerNow = NotFound();
    }
    return decision;
}

void SiteServer::OnRequest(httpserver::Request request, httpserver::Reply reply) {
    if (request.path == kFeedbackPath) {
        Feedback(request, std::move(reply));
        return;
    }
    if (admin_ && request.path.rfind("/admin", 0) == 0) {
        admin_->Handle(std::move(request), std::move(reply));
        return;
    }
    // The releases are older than allowed: read them on a worker.
    auto shared = std::make_shared<httpserver::Reply>(std::move(reply));
    auto head = std::make_shared<httpserver::Request>(std::move(request));
    const bool queued = pool_.Submit([this, shared, head](sitestore::Store* store,
                                                          const std::string& openError) {
        std::string error = openError;
        auto snapshot = store ? cache_.Refresh(*store, error) : nullptr;
        if (!snapshot) {
            std::fprintf(stderr, "quillmate-site: cannot read the releases: %s\n", error.c_str());
            httpserver::Response r = httpserver::Response::Text(503, "try again later");
            r.headers.emplace_back("Retry-After", "10");
            (*shared)(std::move(r));
            return;
        }
        (*shared)(Document(*snapshot, *head));
    });
    if (!queued)
        (*shared)(httpserver::Response::Text(503, "busy, try again"));
}

void SiteServer::Feedback(const httpserver::Request& request, httpserver::Reply reply) {
    siteweb::FeedbackForm form;
    std::string field;
    const siteweb::FormProblem problem = siteweb::ParseFeedbackForm(request.body, form, field);
    if (problem != siteweb::FormProblem::None) {
        reply(FeedbackPage(200,
                           siteweb::FeedbackRefusedPage(siteweb::FormProblemText(problem, field))));
        return;
    }
    sitestore::Feedback row;
    row.receivedMs = siteweb::NowMs();
    row.address =
        siteweb::ClientAddress(request.peerAddress, ForwardedFor(request), config_.trustedProxies);
    row.contact = std::move(form.contact);
    row.text = std::move(form.text);
    row.installation = std::move(form.installation);
    row.clientTime = std::move(form.clientTime);
    row.product = std::move(form.product);
    auto shared = std::make_shared<httpserver::Reply>(std::move(reply));
    const bool queued =
        writer_.Submit(std::move(row), [shared](FeedbackWriter::Result result, std::int64_t) {
            switch (result) {
            case FeedbackWriter::Result::Stored:
                (*shared)(FeedbackPage(200, siteweb::FeedbackStoredPage()));
                break;
            case FeedbackWriter::Result::RateLimited:
                (*shared)(Refused(429, "留言过于频繁，请稍后再试", "60"));
                break;
            case FeedbackWriter::Result::Failed:
                (*shared)(Refused(503, "服务器暂时无法保存留言，请稍后再试", "10"));
                break;
            }
        });
    if (!queued)
        (*shared)(Refused(503, "服务器繁忙，请稍后再试", "10"));
}

} // namespace site
