#include "http/auTransfer.h"

#include "http/auThread.h"

namespace {

std::atomic<uint32_t> g_connectMs{TransferLimits{}.connectMs};
std::atomic<uint32_t> g_silenceMs{TransferLimits{}.silenceMs};
std::atomic<int> g_liveJobs{0};

} // namespace

QString Deep(const QString& s) {
    return s.isNull() ? QString() : QString(s.constData(), s.size());
}

QByteArray Deep(const QByteArray& b) {
    return b.isNull() ? QByteArray() : QByteArray(b.constData(), b.size());
}

QStringList Deep(const QStringList& list) {
    QStringList out;
    out.reserve(list.size());
    for (const QString& s : list)
        out.append(Deep(s));
    return out;
}

TransferLimits DefaultTransferLimits() {
    return {g_connectMs.load(), g_silenceMs.load()};
}

void SetDefaultTransferLimits(const TransferLimits& limits) {
    g_connectMs.store(limits.connectMs);
    g_silenceMs.store(limits.silenceMs);
}

AnswerTexts& TransferState::EditTexts() {
    const AnswerTexts& old = *texts;
    auto copy = std::make_shared<AnswerTexts>();
    copy->rawHeaders = Deep(old.rawHeaders);
    copy->contentType = Deep(old.contentType);
    copy->contentLanguage = Deep(old.contentLanguage);
    copy->contentEncoding = Deep(old.contentEncoding);
    copy->location = Deep(old.location);
    copy->date = old.date;
    copy->lastModified = old.lastModified;
    copy->expires = old.expires;
    copy->proxyUsername = Deep(old.proxyUsername);
    copy->proxyPassword = Deep(old.proxyPassword);
    AnswerTexts& edited = *copy;
    texts = std::move(copy);
    return edited;
}

QIODevice* Destination::Stream() const {
    if (memory)
        return memory.get();
    return file.get();
}

TransferJob::TransferJob(TransferRequest r) : request(std::move(r)) {
    ++g_liveJobs;
}

TransferJob::~TransferJob() {
    --g_liveJobs;
}

std::shared_ptr<TransferJob> TransferJob::Make(TransferRequest request) {
    auto* made = new TransferJob(std::move(request));
    made->result.state = made->request.initial;
    // Until the procedure says otherwise: a transfer whose thread never ran
    // ends as one that obtained no status.
    made->result.state.succeeded = false;
    made->result.state.transportError = teNone;
    made->result.spare.memory = std::make_unique<QBuffer>();
    if (!made->request.outputFileName.isEmpty())
        made->result.spare.file = std::make_unique<QTemporaryFile>(made->request.outputFileName +
                                                                   QStringLiteral(".XXXXXX"));
    return std::shared_ptr<TransferJob>(made, [](TransferJob* job) {
        // The Qt stream objects die on the thread that made them.
        if (std::this_thread::get_id() == job->uiThread_)
            delete job;
        else
            TauCustomThread::RunLaterInMainThread([job] { delete job; });
    });
}

void TransferJob::Cancel() {
    std::lock_guard lk(gate_);
    cancelled_.store(true);
}

int TransferJob::LiveCount() {
    return g_liveJobs.load();
}
