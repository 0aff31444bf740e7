#include "server/EngineServer.h"

#include "engine/EngineAnswer.h"
#include "engine/EngineLimits.h"
#include "engine/EngineRequest.h"
#include "engine/Recognizer.h"
#include "engine/Speech.h"
#include "server/JobQueue.h"

#include <httplib.h>
#include <regex>

namespace server {

namespace {

using namespace std::chrono_literals;

// More connections than workers, so a check or a refusal is answered while
// the engines are busy.
constexpr int kHttpThreads = 32;
constexpr std::size_t kMaxWaitingJobs = 24;
constexpr auto kMaxJobWait = 30s;

int StatusOf(engine::Failure failure) {
    switch (failure) {
    case engine::Failure::BadRequest:
        return 400;
    case engine::Failure::TooLarge:
        return 413;
    case engine::Failure::NotAPicture:
        return 415;
    case engine::Failure::Busy:
        return 503;
    case engine::Failure::EngineFailed:
    case engine::Failure::None:
        break;
    }
    return 500;
}

// Errors close the connection: a refused body may not have been read whole.
void Refuse(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_header("Connection", "close");
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

void Refuse(httplib::Response& res, const engine::Error& error) {
    Refuse(res, StatusOf(error.failure), error.text);
}

void RefuseBusy(httplib::Response& res) {
    res.set_header("Retry-After", "1");
    Refuse(res, 503, "busy, try again");
}

// Reads a multipart body into parts; a body of another type is read away.
engine::Error ReadParts(const httplib::Request& req, httplib::Response& res,
                        const httplib::ContentReader& reader, engine::FormParts& parts) {
    if (!req.is_multipart_form_data()) {
        reader([](const char*, size_t) { return true; });
        return {engine::Failure::BadRequest, "expected a multipart/form-data body"};
    }
    bool tooMany = false;
    const bool read = reader(
        [&](const httplib::MultipartFormData& header) {
            if (parts.size() >= engine::kMaxFormParts) {
                tooMany = true;
                return false;
            }
            parts.push_back({header.name, header.filename, header.content_type, {}});
            return true;
        },
        [&](const char* data, size_t length) {
            parts.back().data.append(data, length);
            return true;
        });
    if (res.status == 413)
        return {engine::Failure::TooLarge, "body too large"};
    if (tooMany)
        return {engine::Failure::BadRequest, "too many parts"};
    if (!read)
        return {engine::Failure::BadRequest, "malformed multipart body"};
    return {};
}

engine::Error ReadForm(const httplib::Request& req, httplib::Response& res,
                       const httplib::ContentReader& reader, std::string& body) {
    if (req.is_multipart_form_data()) {
        reader([](const httplib::MultipartFormData&) { return true; },
               [](const char*, size_t) { return true; });
        return {engine::Failure::BadRequest, "expected a form body"};
    }
    bool tooLarge = false;
    const bool read = reader([&](const char* data, size_t length) {
        if (body.size() + length > engine::kMaxSpeechBodyBytes) {
            tooLarge = true;
            return false;
        }
        body.append(data, length);
        return true;
    });
    if (tooLarge || res.status == 413)
        return {engine::Failure::TooLarge, "body too large"};
    if (!read)
        return {engine::Failure::BadRequest, "body cut short"};
    return {};
}

// A path prefix compared in constant time, so its timing tells nothing about
// the token.
bool HasPrefix(const std::string& path, const std::string& prefix) {
    if (path.size() < prefix.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        difference |= static_cast<unsigned char>(path[i] ^ prefix[i]);
    return difference == 0;
}

} // namespace

// Counts a request as activity for the idle limit while it runs.
class EngineServer::Activity {
public:
    explicit Activity(EngineServer& server) : server_(server) {
        std::lock_guard lock(server_.idleMutex_);
        ++server_.active_;
    }
    ~Activity() {
        {
            std::lock_guard lock(server_.idleMutex_);
            --server_.active_;
            server_.lastActivity_ = std::chrono::steady_clock::now();
        }
        server_.idleChanged_.notify_all();
    }

private:
    EngineServer& server_;
};

EngineServer::EngineServer(ServerOptions options)
    : options_(std::move(options)),
      prefix_(options_.token.empty() ? "/" : "/" + options_.token + "/"),
      http_(std::make_unique<httplib::Server>()), lastActivity_(std::chrono::steady_clock::now()) {
    const unsigned workers =
        options_.workers ? options_.workers : std::max(2u, std::thread::hardware_concurrency());
    jobs_ = std::make_unique<JobQueue>(workers, kMaxWaitingJobs, kMaxJobWait);
    http_->new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    http_->set_payload_max_length(engine::kMaxBodyBytes);
    http_->set_read_timeout(10, 0);
    http_->set_write_timeout(10, 0);
    http_->set_keep_alive_timeout(5);
    Route();
}

EngineServer::~EngineServer() {
    Stop();
    if (idleWatch_.joinable())
        idleWatch_.join();
}

bool EngineServer::Bind(std::string& error) {
    port_ = options_.port == 0
                ? http_->bind_to_any_port(options_.host)
                : (http_->bind_to_port(options_.host, options_.port) ? options_.port : -1);
    if (port_ < 0) {
        error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
        return false;
    }
    return true;
}

std::string EngineServer::BaseUrl() const {
    const bool v6 = options_.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + options_.host + "]" : options_.host;
    return "http://" + host + ":" + std::to_string(port_) + prefix_;
}

void EngineServer::Serve() {
    if (options_.idleExitSeconds > 0)
        idleWatch_ = std::thread([this] { WatchIdle(); });
    http_->listen_after_bind();
    {
        std::lock_guard lock(idleMutex_);
        stopped_ = true;
    }
    idleChanged_.notify_all();
}

void EngineServer::Stop() {
    http_->stop();
    {
        std::lock_guard lock(idleMutex_);
        stopped_ = true;
    }
    idleChanged_.notify_all();
}

void EngineServer::WatchIdle() {
    const auto limit = std::chrono::seconds(options_.idleExitSeconds);
    std::unique_lock lock(idleMutex_);
    while (!stopped_) {
        const auto quietSince = lastActivity_;
        if (active_ == 0 && std::chrono::steady_clock::now() - quietSince >= limit) {
            lock.unlock();
            http_->stop();
            return;
        }
        idleChanged_.wait_until(lock, quietSince + limit);
    }
}

void EngineServer::Route() {
    http_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (HasPrefix(req.path, prefix_))
            return httplib::Server::HandlerResponse::Unhandled;
        Refuse(res, 404, "not found");
        return httplib::Server::HandlerResponse::Handled;
    });
    http_->set_exception_handler([](const httplib::Request&, httplib::Response& res,
                                    std::exception_ptr) { Refuse(res, 500, "internal error"); });

    const std::string prefix =
        std::regex_replace(prefix_, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    http_->Get(prefix, [this](const httplib::Request&, httplib::Response& res) {
        Activity activity(*this);
        res.set_content("quillmate-server\n", "text/plain; charset=utf-8");
    });

    auto recognise = [this](bool engineOne) {
        return [this, engineOne](const httplib::Request& req, httplib::Response& res,
                                 const httplib::ContentReader& reader) {
            Activity activity(*this);
            engine::FormParts parts;
            if (const engine::Error error = ReadParts(req, res, reader, parts))
                return Refuse(res, error);
            const engine::OcrJob job = engineOne ? engine::ParseEngineOneRequest(parts)
                                                 : engine::ParseEngineTwoRequest(parts);
            if (job.error)
                return Refuse(res, job.error);
            engine::Recognition result;
            const JobQueue::Outcome outcome = jobs_->Run([&](engine::Recognizer& recognizer) {
                result = recognizer.Recognize(job.picture, job.languages);
            });
            if (outcome == JobQueue::Outcome::Busy)
                return RefuseBusy(res);
            if (outcome == JobQueue::Outcome::Failed)
                return Refuse(res, 500, "recognition failed");
            if (result.error)
                return Refuse(res, result.error);
            res.set_content(engineOne ? engine::WriteEngineOneAnswer(result.lines)
                                      : engine::WriteEngineTwoAnswer(result.lines),
                            "application/json; charset=utf-8");
        };
    };
    http_->Post(prefix + "ocrapi1", recognise(true));
    http_->Post(prefix + "getocr", recognise(false));

    http_->Post(prefix + "gettts", [this](const httplib::Request& req, httplib::Response& res,
                                          const httplib::ContentReader& reader) {
        Activity activity(*this);
        std::string body;
        if (const engine::Error error = ReadForm(req, res, reader, body))
            return Refuse(res, error);
        const engine::SpeechJob job = engine::ParseSpeechRequest(body);
        if (job.error)
            return Refuse(res, job.error);
        engine::SpeechAudio audio;
        const JobQueue::Outcome outcome = jobs_->Run([&](engine::Recognizer&) {
            audio = engine::Synthesize(job.text, job.code, job.speed);
        });
        if (outcome == JobQueue::Outcome::Busy)
            return RefuseBusy(res);
        if (outcome == JobQueue::Outcome::Failed)
            return Refuse(res, 500, "speech failed");
        if (audio.error)
            return Refuse(res, audio.error);
        res.set_content(std::move(audio.mp3), "audio/mpeg");
    });
}

} // namespace server
