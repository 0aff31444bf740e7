#include "cli/CliCommands.h"

#include "base/Settings.h"
#include "base/TextHelpers.h"
#include "speech/Mp3Player.h"
#include "speech/SpeechService.h"
#include "translate/LanguageCatalog.h"
#include "translate/TranslateService.h"
#include "translate/TranslationRequest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace cli {

void Print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, bytes.size(), stdout);
}

void Complain(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, bytes.size(), stderr);
}

int UsageError(CliOptions::Command command, const QString& reason) {
    Complain(QStringLiteral("quillmate：") + reason + '\n');
    const QByteArray usage = UsageText(command).toUtf8();
    std::fwrite(usage.constData(), 1, usage.size(), stderr);
    return 2;
}

std::optional<int> AnswerWithoutService(const CliOptions& options) {
    if (!options.error.isEmpty())
        return UsageError(options.command, options.error);
    if (options.help || options.command == CliCommand::Help) {
        Print(UsageText(options.command));
        return 0;
    }
    if (options.command == CliCommand::Version) {
        Print(VersionText());
        return 0;
    }
    return std::nullopt;
}

QString TextOf(const CliOptions& options) {
    if (!options.words.isEmpty())
        return options.words.join(' ');
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(in.readAll());
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    return text;
}

int SavedInteger(const char* name, int fallback) {
    const std::unique_ptr<SettingsKey> key = SettingsKey::Open();
    try {
        if (key && key->ValueExists(QString::fromLatin1(name)))
            return key->ReadInteger(QString::fromLatin1(name));
    } catch (const ESettingsError&) {
    }
    return fallback;
}

bool ResolveSource(const CliOptions& options, const QString& given, int& position) {
    if (given.isEmpty()) {
        position = SavedInteger("SourceLanguage", 0);
        return true;
    }
    const std::optional<int> found = SourcePosition(given);
    if (!found) {
        UsageError(options.command, QStringLiteral("未知的语言：") + given);
        return false;
    }
    position = *found;
    return true;
}

QStringList LinesOf(const QString& text) {
    QStringList lines = SplitLines(text);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

int PrintResult(const CliOptions& options, const QString& text, QJsonObject fields) {
    const QStringList lines = LinesOf(text);
    if (options.json) {
        fields.insert("text", lines.join('\n'));
        fields.insert("lines", QJsonArray::fromStringList(lines));
        Print(QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact)) + '\n');
    } else {
        for (const QString& line : lines)
            Print(line + '\n');
    }
    return 0;
}

} // namespace cli

using namespace cli;

int RunTranslateCommand(const CliOptions& options) {
    int source = 0;
    if (!ResolveSource(options, options.source, source))
        return 2;
    int target = SavedInteger("TargetLanguage", 2);
    if (!options.target.isEmpty()) {
        const std::optional<int> found = TargetPosition(options.target);
        if (!found)
            return UsageError(options.command, QStringLiteral("未知的语言：") + options.target);
        target = *found;
    }
    const QString sourceCode = SourceLangCode(source), targetCode = TargetLangCode(target);
    // The window's box holds LF lines and sends them joined by CR LF.
    const QString text = JoinCrLf(TextOf(options));
    if (const TranslateRefusal refusal = CheckTranslation(sourceCode, targetCode, !text.isEmpty());
        refusal != TranslateRefusal::None)
        return UsageError(options.command, PlainMessage(TranslateRefusalText(refusal)));

    TranslateService service;
    TranslateResult result;
    QEventLoop loop;
    service.OnFinished = [&](const TranslateResult& r) {
        result = r;
        loop.quit();
    };
    service.Start(sourceCode, targetCode, text);
    loop.exec();
    if (result.outcome != TranslateOutcome::Translated) {
        Complain(PlainMessage(TranslateFailureText(result.outcome)));
        return 1;
    }
    return PrintResult(options, result.text, {{"source", sourceCode}, {"target", targetCode}});
}

int RunSpeakCommand(const CliOptions& options) {
    int source = 0;
    if (!ResolveSource(options, options.language, source))
        return 2;
    const QString code = SourceSpeechCode(source);
    if (code == QLatin1String("auto"))
        return UsageError(options.command, QStringLiteral("自动检测语言将无法朗读原文，请用 -l "
                                                          "指定语言。"));
    const QString text = TextOf(options);
    if (text.isEmpty())
        return UsageError(options.command, QStringLiteral("请给出要朗读的文字。"));

    SpeechService service;
    SpeechResult result;
    QEventLoop loop;
    service.OnFinished = [&](const SpeechResult& r) {
        result = r;
        loop.quit();
    };
    service.Start(text, code, options.outputFile);
    loop.exec();
    if (result.outcome != SpeechOutcome::Saved || !QFile::exists(result.file)) {
        Complain(QStringLiteral("朗读失败：连接服务器错误，请稍后重试。"));
        return 1;
    }
    if (!options.outputFile.isEmpty())
        return 0;
    TMp3Player player;
    bool played = false;
    player.OnFinished = [&](TMp3Player*, const QString&, bool ok, qint64) {
        played = ok;
        loop.quit();
    };
    player.PlayMp3File(result.file);
    loop.exec();
    QFile::remove(result.file);
    if (!played) {
        Complain(QStringLiteral("无法播放录音。"));
        return 1;
    }
    return 0;
}

int RunLanguagesCommand(const CliOptions& options) {
    const QStringList names = SourceLanguageItems();
    QJsonArray rows;
    for (int i = 0; i < names.size(); ++i) {
        if (options.json)
            rows.append(QJsonObject{{"position", i},
                                    {"name", names[i]},
                                    {"translation", SourceLangCode(i)},
                                    {"speech", SourceSpeechCode(i)}});
        else
            Print(QStringLiteral("%1\t%2\t%3\t%4\n")
                      .arg(i)
                      .arg(names[i], SourceLangCode(i), SourceSpeechCode(i)));
    }
    if (options.json)
        Print(QString::fromUtf8(
                  QJsonDocument(QJsonObject{{"languages", rows}}).toJson(QJsonDocument::Compact)) +
              '\n');
    return 0;
}
