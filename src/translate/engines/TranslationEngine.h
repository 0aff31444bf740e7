#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstddef>
#include <optional>

// One HTTP request of an engine, as values: the transfer component sends it.
struct EngineRequest {
    QString url;
    QString agent;
    QStringList headers; // extra "Name: value" lines
    QByteArray body;     // empty: a GET
};

// A translation service behind the translation command. Engines build their
// requests and read their answers as pure functions of bytes; the caller does
// the sending (and so the tests and fuzzers need no network).
class TranslationEngine {
public:
    virtual ~TranslationEngine() = default;

    // The name in the configuration: "google", "bing", "libretranslate", "llm".
    virtual QString Name() const = 0;
    // Who answered, as the window shows it.
    virtual QString Label() const = 0;
    // The engine's code for a catalogue translation code ("auto" stays "auto");
    // none when the engine lacks the language.
    virtual std::optional<QString> Code(QStringView catalogueCode) const = 0;
    // The translation request for two of the engine's codes and the text
    // (lines separated by CR LF).
    virtual EngineRequest Request(const QString& source, const QString& target,
                                  QStringView text) const = 0;
    // The translated lines, each followed by CR LF; none when the answer
    // cannot be read or holds no line.
    virtual std::optional<QString> Parse(QByteArrayView answer) const = 0;

    // Engines that need a short-lived token first. While NeedsToken holds, the
    // caller sends TokenRequest and hands its answer to TakeToken (false: the
    // answer holds no usable token). ForgetToken drops it after a 401.
    virtual bool UsesToken() const;
    virtual bool NeedsToken(qint64 nowSecs) const;
    virtual EngineRequest TokenRequest() const;
    virtual bool TakeToken(QByteArrayView answer, qint64 nowSecs);
    virtual void ForgetToken();
};

// One row of an engine's code table: catalogue code -> the service's code,
// null where the service has no such language.
struct EngineCodeRow {
    const char* catalogue;
    const char* code;
};

// The service's code for a catalogue code in a table; none when the table has
// no such row or the row is null.
template <std::size_t N>
std::optional<QString> LookUpCode(const EngineCodeRow (&table)[N], QStringView catalogueCode) {
    for (const EngineCodeRow& row : table)
        if (catalogueCode == QLatin1String(row.catalogue))
            return row.code ? std::optional(QString::fromLatin1(row.code)) : std::nullopt;
    return std::nullopt;
}

// Lines as the window takes them: every line break (CR LF, LF or CR) becomes
// CR LF, and the last line gets one too. Blank lines at the end are dropped,
// an empty text stays empty.
QString LinesWithCrLf(QStringView text);

// The text as a JSON service gets it: lines joined by LF.
QString JoinLf(QStringView text);

// Most bytes of a JSON answer that are parsed; past it an answer is unreadable.
inline constexpr qsizetype kMaxJsonAnswer = 16 * 1024 * 1024;
