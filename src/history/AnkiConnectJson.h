#pragma once

#include "history/HistoryEntry.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

// The JSON of AnkiConnect's API, version 6: bytes in, bytes out.

// {"action": action, "version": 6, "params": params} (params left out when empty).
QByteArray AnkiConnectRequest(const QString& action, const QJsonObject& params = {});
// The notes of entries: deck "Quillmate", model "Basic", fields Front and
// Back as HTML, and the tags of the import file.
QJsonArray AnkiConnectNotes(const QList<HistoryEntry>& entries);

// An answer {"result": ..., "error": ...}: error is empty when the action
// succeeded; an answer that is not such an object is an error too.
struct AnkiConnectAnswer {
    QJsonValue result;
    QString error;
};
AnkiConnectAnswer ParseAnkiConnectAnswer(const QByteArray& body);
