#include "history/HistoryJson.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

QByteArray HistoryJsonLine(const HistoryEntry& entry) {
    const QJsonObject o{
        {QStringLiteral("source"), entry.source},
        {QStringLiteral("target"), entry.target},
        {QStringLiteral("from"), entry.sourceCode},
        {QStringLiteral("to"), entry.targetCode},
        {QStringLiteral("engine"), entry.engine},
        {QStringLiteral("time"),
         QDateTime::fromMSecsSinceEpoch(entry.timeMs, Qt::UTC).toString(Qt::ISODateWithMs)},
        {QStringLiteral("starred"), entry.starred},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}
