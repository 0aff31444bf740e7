#include "server/EngineServer.h"

#include "engine/EngineAnswer.h"
#include "engine/EngineLimits.h"
#include "engine/EngineRequest.h"
#include "engine/Recognizer.h"
#include "engine/Speech.h"
#include "httpserver/HttpServer.h"
#include "httpserver/MultipartForm.h"
#include "server/IdleWatch.h"
#include "server/JobQueue.h"

#include <thread>

namespace server {

namespace {

using namespace std::chrono_literals;
using httpserver::HeadDecision;
using httpserver::Reply;
using httpserver::Request;
using httpserver::Response;

constexpr auto kMaxJobWait = 30s;
// Bodies in memory at once: a few full-size uploads beside every honest
// screen crop. Past it a request gets 503 instead of taking more memory.
constexpr std::size_t kBodyBudgetBytes = 96u << 20;
constexpr std::size_t kMaxPartHeaderBytes = 8 * 1024;

int StatusOf(engine::Failure failure) {
    switch (failure) {
    case engine::Failure::BadRequest:
        return 400;
    case engine::Failure::TooLarge:
        return 413;
    case engine::Failure::NotAPicture:
        return 415;
    case engine::Failure::EngineFailed:
    case engine::Failure::None:
        break;
    }
    return 500;
}

Response Refusal(const engine::Error& error) {
    return Response::Text(StatusOf(error.failure), error.text);
}

Response Busy() {
    Response response = Response::Text(503, "busy, try again");
    response.headers.emplace_back("Retry-After", "1");
    return response;
}

Response WrongMethod(const char* allowed) {
    Response response = Response::Text(405, "method not allowed");
    response.headers.emplace_back("Allow", allowed);
    return response;
}

// A path prefix compared in constant time, so its timing tells nothing about
// the token.
bool HasPrefix(std::string_view path, std::string_view prefix) {
    if (path.size() < prefix.size())
        return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        difference |= static_cast<unsigned char>(path[i] ^ prefix[i]);
    return difference == 0;
}

httpserver::Limits HttpLimits(const ServerOptions& options) {
    httpserver::Limits limits;
    limits.maxBodyBytes = engine::kMaxBodyBytes;
    limits.bodyBudgetBytes = kBodyBudgetBytes;
    limits.maxConnections = options.maxConnections;
    limits.maxConnectionsPerClient = options.maxClientConnections;
    return limits;
}

// The request's body is copied into its parts; give its memory back at once
// (its budget share stays with the job).
void DropBody(Request& request) {
    std::string().swap(request.body);
}

// What a queued job carries from its request to its answer.
template <typename Job, typename Result> struct Pending {
    Job job;
    Result result;
    Reply reply;
    // Kept until the answer: its body budget share and its activity count.
    Request request;
};

// Runs run on a worker and answers with ok's response, or with the error.
template <typename P, typename Run, typename Ok>
void Queue(JobQueue& jobs, std::shared_ptr<P> pending, Run run, Ok ok, const char* failure) {
    const bool queued =
        jobs.Submit([pending, run](engine::Recognizer& recognizer) { run(*pending, recognizer); },
                    [pending, ok, failure](JobQueue::Outcome outcome) {
                        Reply& reply = pending->reply;
                        if (outcome == JobQueue::Outcome::Busy)
                            reply(Busy());
                        else if (outcome == JobQueue::Outcome::Failed)
                            reply(Response::Text(500, failure));
                        else if (pending->result.error)
                            reply(Refusal(pending->result.error));
                        else
                            reply(ok(*pending));
                        pending->request = Request();
                    });
    if (!queued)
        pending->reply(Busy());
}

} // namespace

EngineServer::EngineServer(ServerOptions options)
    : options_(std::move(options)),
      prefix_(options_.token.empty() ? "/" : "/" + options_.token + "/") {
    if (options_.listen.empty())
        options_.listen.emplace_back();
    const unsigned workers =
        options_.workers ? options_.workers : std::max(2u, std::thread::hardware_concurrency());
    jobs_ = std::make_unique<JobQueue>(workers, options_.maxWaitingJobs, kMaxJobWait);
    http_ = std::make_unique<httpserver::Server>(
        HttpLimits(options_),
        httpserver::Handlers{[this](const Request& head) { return OnHead(head); },
                             [this](Request request, Reply reply) {
                                 OnRequest(std::move(request), std::move(reply));
                             }});
}

EngineServer::~EngineServer() {
    idle_.reset();
    http_->Stop();
    http_.reset();
    jobs_.reset();
}

bool EngineServer::Bind(std::string& error) {
    for (const httpserver::ListenAddress& address : options_.listen)
        if (!http_->Listen(address, error))
            return false;
    return true;
}

std::string EngineServer::ReadyLine(std::size_t listener) const {
    const httpserver::ListenAddress& address = options_.listen.at(listener);
    if (address.kind == httpserver::ListenAddress::Kind::Unix)
        return "unix:" + address.path + " http://localhost" + prefix_;
    const bool v6 = address.host.find(':') != std::string::npos;
    const std::string host = v6 ? "[" + address.host + "]" : address.host;
    return "http://" + host + ":" + std::to_string(Port(listener)) + prefix_;
}

int EngineServer::Port(std::size_t listener) const {
    return http_->Port(listener);
}

void EngineServer::Serve() {
    if (options_.idleExitSeconds > 0)
        idle_ = std::make_unique<IdleWatch>(std::chrono::seconds(options_.idleExitSeconds),
                                            [this] { http_->Stop(); });
    http_->Run();
}

void EngineServer::Stop() {
    http_->Stop();
}

void EngineServer::StopOnSignals(std::initializer_list<int> signalNumbers) {
    http_->StopOnSignals(signalNumbers);
}

HeadDecision EngineServer::OnHead(const Request& head) {
    HeadDecision decision;
    if (!HasPrefix(head.path, prefix_)) {
        decision.answerNow = Response::Text(404, "not found");
        return decision;
    }
    const std::string_view route = std::string_view(head.path).substr(prefix_.size());
    const bool speech = route == "gettts";
    if (route.empty()) {
        if (head.method == "GET" || head.method == "HEAD")
            decision.answerNow = Response::Text(200, "quillmate-server");
        else
            decision.answerNow = WrongMethod("GET, HEAD");
    } else if (route != "ocrapi1" && route != "getocr" && !speech) {
        decision.answerNow = Response::Text(404, "not found");
    } else if (head.method != "POST") {
        decision.answerNow = WrongMethod("POST");
    } else if (!speech && httpserver::MultipartBoundary(head.Header("Content-Type")).empty()) {
        decision.answerNow = Response::Text(400, "expected a multipart/form-data body");
    } else if (speech && head.Header("Content-Type").substr(0, 10) == "multipart/") {
        decision.answerNow = Response::Text(400, "expected a form body");
    } else if (jobs_->Full()) {
        // Refused before the upload, not after it.
        decision.answerNow = Busy();
    } else {
        decision.maxBodyBytes = speech ? engine::kMaxSpeechBodyBytes : engine::kMaxBodyBytes;
    }
    // Every request under the token counts as activity, from its head on.
    if (idle_)
        decision.state = idle_->Begin();
    return decision;
}

void EngineServer::OnRequest(Request request, Reply reply) {
    const std::string_view route = std::string_view(request.path).substr(prefix_.size());
    if (route == "gettts")
        Speak(std::move(request), std::move(reply));
    else
        Recognise(route == "ocrapi1", std::move(request), std::move(reply));
}

void EngineServer::Recognise(bool engineOne, Request request, Reply reply) {
    engine::OcrJob job;
    {
        const httpserver::MultipartForm form = httpserver::SplitMultipart(
            request.body, httpserver::MultipartBoundary(request.Header("Content-Type")),
            {engine::kMaxFormParts, kMaxPartHeaderBytes});
        if (!form.error.empty())
            return reply(Response::Text(400, "malformed multipart body: " + form.error));
        engine::FormParts parts;
        for (const httpserver::FormPart& part : form.parts)
            parts.push_back({part.name, part.filename, part.contentType, std::string(part.data)});
        job =
            engineOne ? engine::ParseEngineOneRequest(parts) : engine::ParseEngineTwoRequest(parts);
    }
    DropBody(request);
    if (job.error)
        return reply(Refusal(job.error));
    using Ocr = Pending<engine::OcrJob, engine::Recognition>;
    Queue(
        *jobs_,
        std::make_shared<Ocr>(Ocr{std::move(job), {}, std::move(reply), std::move(request)}),
        [](Ocr& ocr, engine::Recognizer& recognizer) {
            ocr.result = recognizer.Recognize(ocr.job.picture, ocr.job.languages);
            std::string().swap(ocr.job.picture);
        },
        [engineOne](Ocr& ocr) {
            Response response;
            response.contentType = "application/json; charset=utf-8";
            response.body = engineOne ? engine::WriteEngineOneAnswer(ocr.result.lines)
                                      : engine::WriteEngineTwoAnswer(ocr.result.lines);
            return response;
        },
        "recognition failed");
}

void EngineServer::Speak(Request request, Reply reply) {
    engine::SpeechJob job = engine::ParseSpeechRequest(request.body);
    DropBody(request);
    if (job.error)
        return reply(Refusal(job.error));
    using Tts = Pending<engine::SpeechJob, engine::SpeechAudio>;
    Queue(
        *jobs_,
        std::make_shared<Tts>(Tts{std::move(job), {}, std::move(reply), std::move(request)}),
        [](Tts& tts, engine::Recognizer&) {
            tts.result = engine::Synthesize(tts.job.text, tts.job.code, tts.job.speed);
        },
        [](Tts& tts) {
            Response response;
            response.contentType = "audio/mpeg";
            response.body = std::move(tts.result.mp3);
            return response;
        },
        "speech failed");
}

} // namespace server
