// The translation engines from the command line: the chain as configured,
// and a check of each.
#include "base/Preferences.h"
#include "cli/CliCommands.h"
#include "keyring/KeyKeeper.h"
#include "translate/TranslateCheck.h"

#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString RestText(qint64 untilMs) {
    if (untilMs == 0)
        return QStringLiteral("可用");
    return QStringLiteral("休息到 ") +
           QDateTime::fromMSecsSinceEpoch(untilMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonValue RestJson(qint64 untilMs) {
    if (untilMs == 0)
        return QJsonValue::Null;
    return QDateTime::fromMSecsSinceEpoch(untilMs).toUTC().toString(Qt::ISODate);
}

void PrintJson(const QJsonArray& engines) {
    cli::Print(
        QString::fromUtf8(
            QJsonDocument(QJsonObject{{"engines", engines}}).toJson(QJsonDocument::Compact)) +
        '\n');
}

int ListEngines(const CliOptions& options, const TranslateConfig& config) {
    QJsonArray rows;
    for (const EngineStatus& engine :
         DescribeEngines(config, QDateTime::currentMSecsSinceEpoch())) {
        if (options.json)
            rows.append(QJsonObject{{"name", engine.name},
                                    {"label", engine.label},
                                    {"host", engine.host},
                                    {"configured", engine.configured},
                                    {"restingUntil", RestJson(engine.restingUntilMs)}});
        else
            cli::Print(
                QStringList{engine.name, engine.label, engine.host,
                            engine.configured ? QStringLiteral("已设置") : QStringLiteral("未设置"),
                            RestText(engine.restingUntilMs)}
                    .join('\t') +
                '\n');
    }
    if (options.json)
        PrintJson(rows);
    return 0;
}

// 0 when at least one engine translated.
int CheckEngines(const CliOptions& options, const TranslateConfig& config) {
    TranslateCheck check;
    QEventLoop loop;
    QJsonArray rows;
    bool anyTranslated = false;
    check.OnChecked = [&](const EngineCheckResult& checked) {
        const TranslateResult& r = checked.result;
        const bool translated = r.outcome == TranslateOutcome::Translated && !r.failure;
        anyTranslated = anyTranslated || translated;
        const QString text = cli::LinesOf(r.text).join(' ');
        if (options.json) {
            QJsonObject row{{"name", checked.engine.name},
                            {"configured", checked.engine.configured}};
            if (checked.engine.configured) {
                row.insert("translated", translated);
                row.insert("ms", r.elapsedMs);
                if (translated)
                    row.insert("text", text);
                if (r.failure) {
                    row.insert("failure", FailureKindName(r.failure->kind));
                    if (r.failure->status > 0)
                        row.insert("status", r.failure->status);
                }
            }
            rows.append(row);
            return;
        }
        QStringList columns{checked.engine.name};
        if (!checked.engine.configured)
            columns << QStringLiteral("未设置");
        else if (translated)
            columns << QStringLiteral("成功") << QStringLiteral("%1 毫秒").arg(r.elapsedMs) << text;
        else
            columns << QStringLiteral("失败") << QStringLiteral("%1 毫秒").arg(r.elapsedMs)
                    << (r.failure ? EngineFailureText(*r.failure) : QStringLiteral("没有译文"));
        cli::Print(columns.join('\t') + '\n');
    };
    check.OnFinished = [&] { loop.quit(); };
    check.Start(config.engines);
    loop.exec();
    if (options.json)
        PrintJson(rows);
    return anyTranslated ? 0 : 1;
}

} // namespace

TranslateConfig cli::ConfigFor(const CliOptions& options) {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    TranslateConfig config =
        options.translator.isEmpty()
            ? LoadTranslateConfig(prefs.get())
            : SingleEngineConfig(LoadEngineSettings(prefs.get(), options.translator));
    const QList<const TextPreference*> missing = KeysToLookUp(config);
    if (!missing.isEmpty()) {
        const KeyKeeper::Keys keys = KeyKeeper::ReadNow(missing);
        for (const TextPreference* value : missing)
            SetKey(config, *value, keys.value(QString::fromLatin1(value->name)));
    }
    return config;
}

int RunEnginesCommand(const CliOptions& options) {
    // Listing needs no keys: only a check asks the secret service.
    return options.check ? CheckEngines(options, cli::ConfigFor(options))
                         : ListEngines(options, LoadTranslateConfig());
}
