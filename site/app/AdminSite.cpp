#include "AdminSite.h"

#include "Answers.h"
#include "siteweb/AdminPages.h"
#include "siteweb/ClientAddress.h"
#include "siteweb/FormFields.h"
#include "siteweb/UtcTime.h"

#include <algorithm>
#include <memory>

namespace site {

namespace {

const char* const kCookie = "quill_admin";
constexpr std::size_t kMaxFormBytes = 4096;

std::int64_t NowSeconds() {
    return siteweb::NowMs() / 1000;
}

// Only a page of our own list: never a redirect to somewhere else.
std::string SafeBack(const std::string& back) {
    if (back.rfind("/admin/", 0) == 0 && back.find("//", 1) == std::string::npos &&
        back.find_first_of("\r\n\\") == std::string::npos)
        return back;
    return "/admin/";
}

} // namespace

AdminSite::AdminSite(const std::string& token, StorePool& pool,
                     const std::vector<std::string>& trustedProxies)
    : auth_(token), logins_(10, std::chrono::minutes(10)), pool_(pool),
      trustedProxies_(trustedProxies) {}

std::string AdminSite::Client(const httpserver::Request& request) const {
    return siteweb::ClientAddress(request.peerAddress, ForwardedFor(request), trustedProxies_);
}

std::string AdminSite::Session(const httpserver::Request& request) const {
    for (const auto& [name, value] : request.headers) {
        if (!httpserver::EqualsIgnoringCase(name, "Cookie"))
            continue;
        const std::string session = CookieValue(value, kCookie);
        if (!session.empty() && auth_.SessionValid(session, NowSeconds()))
            return session;
    }
    return {};
}

httpserver::HeadDecision AdminSite::Head(const httpserver::Request& head) {
    httpserver::HeadDecision decision;
    if (head.path == "/admin") {
        decision.answerNow = SeeOther("/admin/");
    } else if (head.path == "/admin/") {
        if (head.method != "GET" && head.method != "HEAD")
            decision.answerNow = NotAllowed("GET, HEAD");
        else if (Session(head).empty())
            decision.answerNow = HtmlPage(200, siteweb::AdminLoginHtml(false));
        decision.maxBodyBytes = 0;
    } else if (head.path == "/admin/login" || head.path == "/admin/logout" ||
               head.path == "/admin/answer") {
        if (head.method != "POST")
            decision.answerNow = NotAllowed("POST");
        decision.maxBodyBytes = kMaxFormBytes;
    } else {
        decision.answerNow = NotFound();
    }
    return decision;
}

void AdminSite::Handle(httpserver::Request request, httpserver::Reply reply) {
    if (request.path == "/admin/login") {
        Login(request, reply);
        return;
    }
    const std::string session = Session(request);
    if (session.empty()) {
        reply(HtmlPage(403, siteweb::AdminLoginHtml(false)));
        return;
    }
    if (request.path == "/admin/") {
        List(request, session, std::move(reply));
        return;
    }
    siteweb::FormPairs form;
    if (!siteweb::DecodeForm(request.body, form) ||
        !auth_.CsrfValid(session, siteweb::FormValue(form, "csrf"))) {
        reply(httpserver::Response::Text(403, "the form is out of date; reload the page"));
        return;
    }
    if (request.path == "/admin/logout") {
        httpserver::Response r = SeeOther("/admin/");
        r.headers.emplace_back("Set-Cookie", std::string(kCookie) +
                                                 "=; Path=/admin/; Max-Age=0; HttpOnly; "
                                                 "SameSite=Strict");
        reply(std::move(r));
        return;
    }
    Answer(request, std::move(reply));
}

void AdminSite::Login(const httpserver::Request& request, httpserver::Reply& reply) {
    const std::string client = Client(request);
    const auto now = AttemptLimiter::Clock::now();
    if (!logins_.Allowed(client, now)) {
        httpserver::Response r = HtmlPage(429, siteweb::AdminLoginHtml(true));
        r.headers.emplace_back("Retry-After", "600");
        reply(std::move(r));
        return;
    }
    siteweb::FormPairs form;
    if (!siteweb::DecodeForm(request.body, form) ||
        !auth_.TokenMatches(siteweb::FormValue(form, "token"))) {
        logins_.Record(client, now);
        reply(HtmlPage(403, siteweb::AdminLoginHtml(true)));
        return;
    }
    std::string cookie = std::string(kCookie) + "=" + auth_.NewSession(NowSeconds()) +
                         "; Path=/admin/; Max-Age=" + std::to_string(AdminAuth::kSessionSeconds) +
                         "; HttpOnly; SameSite=Strict";
    // Behind the TLS proxy the browser must never send it in the clear.
    const bool viaProxy =
        std::find(trustedProxies_.begin(), trustedProxies_.end(),
                  siteweb::NormalAddress(request.peerAddress)) != trustedProxies_.end() ||
        (request.peerAddress == "unix" && std::find(trustedProxies_.begin(), trustedProxies_.end(),
                                                    "unix") != trustedProxies_.end());
    if (viaProxy && httpserver::EqualsIgnoringCase(request.Header("X-Forwarded-Proto"), "https"))
        cookie += "; Secure";
    httpserver::Response r = SeeOther("/admin/");
    r.headers.emplace_back("Set-Cookie", std::move(cookie));
    reply(std::move(r));
}

void AdminSite::List(const httpserver::Request& request, const std::string& session,
                     httpserver::Reply reply) {
    siteweb::FormPairs query;
    siteweb::DecodeForm(request.query, query);
    auto view = std::make_shared<siteweb::AdminListView>();
    view->search = siteweb::FormValue(query, "q").substr(0, 200);
    const std::string page = siteweb::FormValue(query, "page");
    if (!page.empty() && page.size() <= 6 &&
        std::all_of(page.begin(), page.end(), [](char c) { return c >= '0' && c <= '9'; }))
        view->page = std::max(1, std::stoi(page));
    view->csrf = auth_.CsrfFor(session);
    auto shared = std::make_shared<httpserver::Reply>(std::move(reply));
    const bool queued =
        pool_.Submit([view, shared](sitestore::Store* store, const std::string& openError) {
            sitestore::FeedbackQuery q;
            q.search = view->search;
            q.newestFirst = true;
            q.limit = siteweb::kAdminPageSize + 1;
            q.offset = (view->page - 1) * siteweb::kAdminPageSize;
            std::string error = openError;
            if (!store || !store->ListFeedback(q, view->rows, error)) {
                (*shared)(httpserver::Response::Text(503, "the database is unavailable: " + error));
                return;
            }
            view->hasNext = view->rows.size() > std::size_t(siteweb::kAdminPageSize);
            if (view->hasNext)
                view->rows.pop_back();
            (*shared)(HtmlPage(200, siteweb::AdminListHtml(*view)));
        });
    if (!queued)
        (*shared)(httpserver::Response::Text(503, "busy, try again"));
}

void AdminSite::Answer(const httpserver::Request& request, httpserver::Reply reply) {
    siteweb::FormPairs form;
    siteweb::DecodeForm(request.body, form);
    const std::string idText = siteweb::FormValue(form, "id");
    if (idText.empty() || idText.size() > 18 ||
        !std::all_of(idText.begin(), idText.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        reply(httpserver::Response::Text(400, "no message id"));
        return;
    }
    const std::int64_t id = std::stoll(idText);
    const bool answered = siteweb::FormValue(form, "answered") != "0";
    const std::string back = SafeBack(siteweb::FormValue(form, "back"));
    auto shared = std::make_shared<httpserver::Reply>(std::move(reply));
    const bool queued = pool_.Submit([=](sitestore::Store* store, const std::string& openError) {
        std::string error = openError;
        bool found = false;
        const auto when = answered ? std::optional(siteweb::NowMs()) : std::nullopt;
        if (!store || !store->MarkAnswered(id, when, found, error))
            (*shared)(httpserver::Response::Text(503, "the database is unavailable: " + error));
        else if (!found)
            (*shared)(httpserver::Response::Text(404, "no message " + std::to_string(id)));
        else
            (*shared)(SeeOther(back));
    });
    if (!queued)
        (*shared)(httpserver::Response::Text(503, "busy, try again"));
}

} // namespace site
