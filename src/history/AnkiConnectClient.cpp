#include "history/AnkiConnectClient.h"

#include "history/AnkiConnectJson.h"
#include "history/AnkiNotes.h"
#include "http/auHTTP.h"

#include <QIODevice>
#include <QMetaObject>
#include <QUrl>
#include <algorithm>

AnkiConnectClient::AnkiConnectClient(QObject* parent) : QObject(parent), http_(new TauHTTP(this)) {
    http_->Proxy.AccessType = atDirect;
    http_->UseCookies = false;
    http_->UseCache = false;
    http_->AddHeaders = {QStringLiteral("Content-Type: application/json")};
    http_->OnDone = [this](QObject*, const QString&, int, QIODevice* stream) { Answered(stream); };
    http_->OnHostUnreachable = [this](QObject*) {
        Finish(
            QStringLiteral("无法连接 Anki（%1）：请确认 Anki 正在运行，并装有 AnkiConnect 插件。")
                .arg(http_->URL));
    };
    http_->OnHTTPError = [this](QObject*, int status, QIODevice*) {
        Finish(QStringLiteral("AnkiConnect 回答了 HTTP %1。").arg(status));
    };
    http_->OnConnLost = [this](QObject*, const QString&, int, int, QIODevice*) {
        Finish(QStringLiteral("与 Anki 的连接中断了。"));
    };
}

QString AnkiConnectClient::DefaultUrl() {
    return QStringLiteral("http://127.0.0.1:8765");
}

bool AnkiConnectClient::AddNotes(const QString& url, const QList<HistoryEntry>& entries) {
    if (busy_ || entries.isEmpty())
        return false;
    const QUrl parsed(url.isEmpty() ? DefaultUrl() : url);
    result_ = {};
    busy_ = true;
    if (!parsed.isValid() ||
        (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https"))) {
        const QString error = QStringLiteral("AnkiConnect 的地址无效：%1").arg(url);
        QMetaObject::invokeMethod(
            this, [this, error] { Finish(error); }, Qt::QueuedConnection);
        return true;
    }
    http_->URL = parsed.toString();
    http_->Timeouts.ConnectTimeout = uint32_t(ConnectTimeoutMs);
    http_->Timeouts.ReceiveTimeout = uint32_t(AnswerTimeoutMs);
    http_->Timeouts.SendTimeout = uint32_t(AnswerTimeoutMs);
    notes_ = AnkiConnectNotes(entries);
    sent_.clear();
    Send(Step::DeckNames, AnkiConnectRequest(QStringLiteral("deckNames")));
    return true;
}

void AnkiConnectClient::Send(Step step, const QByteArray& body) {
    step_ = step;
    http_->POSTData = body;
    if (!http_->StartTransfer())
        Finish(QStringLiteral("无法向 Anki 发送请求。"));
}

void AnkiConnectClient::Answered(QIODevice* stream) {
    const AnkiConnectAnswer answer =
        ParseAnkiConnectAnswer(stream ? stream->readAll() : QByteArray());
    if (!answer.error.isEmpty()) {
        Finish(QStringLiteral("Anki 没有接受请求：%1").arg(answer.error));
        return;
    }
    const QJsonArray list = answer.result.toArray();
    const QString deck = QLatin1String(kAnkiDeck);
    const QString model = QLatin1String(kAnkiNoteType);
    switch (step_) {
    case Step::DeckNames:
        if (!list.contains(deck)) {
            Send(Step::CreateDeck, AnkiConnectRequest(QStringLiteral("createDeck"),
                                                      {{QStringLiteral("deck"), deck}}));
            return;
        }
        [[fallthrough]];
    case Step::CreateDeck:
        Send(Step::ModelNames, AnkiConnectRequest(QStringLiteral("modelNames")));
        return;
    case Step::ModelNames:
        if (!list.contains(model)) {
            Finish(QStringLiteral("Anki 中没有笔记类型“%1”。").arg(model));
            return;
        }
        Send(Step::CanAdd, AnkiConnectRequest(QStringLiteral("canAddNotes"),
                                              {{QStringLiteral("notes"), notes_}}));
        return;
    case Step::CanAdd: {
        if (list.size() != notes_.size()) {
            Finish(QStringLiteral("AnkiConnect 的回答与请求不符。"));
            return;
        }
        QJsonArray addable;
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].toBool()) {
                addable.append(notes_[i]);
                sent_ << i;
            } else {
                result_.duplicates << i;
            }
        }
        if (addable.isEmpty()) {
            Finish({});
            return;
        }
        Send(Step::Add,
             AnkiConnectRequest(QStringLiteral("addNotes"), {{QStringLiteral("notes"), addable}}));
        return;
    }
    case Step::Add:
        if (list.size() != sent_.size()) {
            Finish(QStringLiteral("AnkiConnect 的回答与请求不符。"));
            return;
        }
        // A note another client added meanwhile comes back as null.
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].isNull())
                result_.duplicates << sent_[i];
            else
                ++result_.added;
        }
        std::sort(result_.duplicates.begin(), result_.duplicates.end());
        Finish({});
        return;
    }
}

void AnkiConnectClient::Finish(const QString& error) {
    busy_ = false;
    result_.error = error;
    if (OnFinished)
        OnFinished(result_);
}
