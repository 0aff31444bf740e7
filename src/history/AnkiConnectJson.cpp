#include "history/AnkiConnectJson.h"

#include "history/AnkiNotes.h"

#include <QJsonDocument>
#include <QJsonParseError>

QByteArray AnkiConnectRequest(const QString& action, const QJsonObject& params) {
    QJsonObject request{{QStringLiteral("action"), action}, {QStringLiteral("version"), 6}};
    if (!params.isEmpty())
        request.insert(QStringLiteral("params"), params);
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

QJsonArray AnkiConnectNotes(const QList<HistoryEntry>& entries) {
    QJsonArray notes;
    for (const HistoryEntry& e : entries) {
        notes.append(QJsonObject{
            {QStringLiteral("deckName"), QLatin1String(kAnkiDeck)},
            {QStringLiteral("modelName"), QLatin1String(kAnkiNoteType)},
            {QStringLiteral("fields"),
             QJsonObject{{QStringLiteral("Front"), AnkiFieldHtml(e.source)},
                         {QStringLiteral("Back"), AnkiFieldHtml(e.target)}}},
            {QStringLiteral("tags"), QJsonArray::fromStringList(AnkiTags(e))},
        });
    }
    return notes;
}

AnkiConnectAnswer ParseAnkiConnectAnswer(const QByteArray& body) {
    AnkiConnectAnswer answer;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject o = doc.object();
    if (parseError.error != QJsonParseError::NoError || !doc.isObject() ||
        !o.contains(QStringLiteral("result")) || !o.contains(QStringLiteral("error"))) {
        answer.error = QStringLiteral("回答不是 AnkiConnect 的格式");
        return answer;
    }
    const QJsonValue error = o.value(QStringLiteral("error"));
    if (!error.isNull())
        answer.error = error.isString()
                           ? error.toString()
                           : QString::fromUtf8(
                                 QJsonDocument(QJsonArray{error}).toJson(QJsonDocument::Compact));
    answer.result = o.value(QStringLiteral("result"));
    return answer;
}
