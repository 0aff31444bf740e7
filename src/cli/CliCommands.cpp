#include "cli/CliCommands.h"

#include "base/Preferences.h"
#include "base/TextHelpers.h"
#include "base/Utf8.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryText.h"
#include "speech/Mp3Player.h"
#include "speech/SpeechRequest.h"
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
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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

bool TextOf(const CliOptions& options, QString& text) {
    text.clear();
    if (!options.words.isEmpty()) {
        text = options.words.join(' ');
        return true;
    }
    // Read to one byte past the cap: a longer input is refused, never cut.
    QByteArray input;
    char buffer[65536];
    while (input.size() <= kMaxStandardInput) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        input.append(buffer, got);
    }
    if (input.size() > kMaxStandardInput) {
        UsageError(options.command, QStringLiteral("标准输入超过 1 MiB 的上限，请分段处理。"));
        return false;
    }
    text = QString::fromUtf8(input);
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    return true;
}

int FinishOutput(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    Complain(QStringLiteral("quillmate：无法写出结果（") +
             QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral("）"));
    return status == 0 ? 1 : status;
}

bool ResolveSource(const CliOptions& options, const QString& given, int& position) {
    if (given.isEmpty()) {
        position = Preferences::Get(pref::SourceLanguage);
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

void RecordTranslation(const QString& sourceCode, const QString& targetCode, const QString& text,
                       const TranslateResult& result) {
    // Every engine failing still ends as Translated, with nothing to keep.
    if (result.text.trimmed().isEmpty())
        return;
    const HistoryEntry entry =
        TranslationEntry(sourceCode, targetCode, text, result.text, result.engine);
    QString notice;
    const HistoryStatus status = RecordTranslationNow(
        HistoryStore::DefaultPath(), entry, Preferences::Get(pref::HistoryEnabled) != 0, &notice);
    if (!notice.isEmpty())
        Complain(QStringLiteral("quillmate：") + notice);
    // The translation itself worked: the exit status stays 0.
    if (!status.ok())
        Complain(QStringLiteral("quillmate：翻译历史未能记录：") + status.error);
}

} // namespace cli

using namespace cli;

int RunTranslateCommand(const CliOptions& options) {
    int source = 0;
    if (!ResolveSource(options, options.source, source))
        return 2;
    int target = Preferences::Get(pref::TargetLanguage);
    if (!options.target.isEmpty()) {
        const std::optional<int> found = TargetPosition(options.target);
        if (!found)
            return UsageError(options.command, QStringLiteral("未知的语言：") + options.target);
        target = *found;
    }
    const QString sourceCode = SourceLangCode(source), targetCode = TargetLangCode(target);
    QString input;
    if (!TextOf(options, input))
        return 2;
    // The window's box holds LF lines and sends them joined by CR LF.
    const QString text = JoinCrLf(input);
    if (const TranslateRefusal refusal = CheckTranslation(sourceCode, targetCode, !text.isEmpty());
        refusal != TranslateRefusal::None)
        return UsageError(options.command, PlainMessage(TranslateRefusalText(refusal)));

    TranslateService service(ConfigFor(options));
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
    const int status = PrintResult(
        options, result.text,
        {{"source", sourceCode}, {"target", targetCode}, {"engine", result.engineName}});
    // The translation goes out before the history is written.
    std::fflush(stdout);
    RecordTranslation(sourceCode, targetCode, text, result);
    return status;
}

int RunSpeakCommand(const CliOptions& options) {
    int source = 0;
    if (!ResolveSource(options, options.language, source))
        return 2;
    const QString code = SourceSpeechCode(source);
    if (code == QLatin1String("auto"))
        return UsageError(options.command, QStringLiteral("自动检测语言将无法朗读原文，请用 -l "
                                                          "指定语言。"));
    QString text;
    if (!TextOf(options, text))
        return 2;
    if (text.isEmpty())
        return UsageError(options.command, QStringLiteral("请给出要朗读的文字。"));
    // The engine refuses a longer text; a retry would never help.
    if (const qsizetype bytes = Utf16ToUtf8(text).size(); bytes > kMaxSpeechTextBytes)
        return UsageError(options.command,
                          QStringLiteral("要朗读的文字过长：%1 字节（UTF-8），最多 %2 字节。")
                              .arg(bytes)
                              .arg(kMaxSpeechTextBytes));

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
    QObject::connect(&player, &TMp3Player::Finished, [&](const QString&, bool ok, qint64) {
        played = ok;
        loop.quit();
    });
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
