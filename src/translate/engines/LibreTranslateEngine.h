#pragma once

#include "translate/engines/TranslationEngine.h"

// A LibreTranslate instance the user runs or has a key for: a JSON post to
// BASE/translate. Its errors ({"error": ...}) are judged by their status only.
class LibreTranslateEngine : public TranslationEngine {
public:
    // baseUrl: the instance's address, with or without a trailing "/".
    LibreTranslateEngine(QString baseUrl, QString key);

    QString Name() const override;
    QString Label() const override;
    std::optional<QString> Code(QStringView catalogueCode) const override;
    EngineRequest Request(const QString& source, const QString& target,
                          QStringView text) const override;
    std::optional<QString> Parse(QByteArrayView answer) const override;

private:
    QString url_, key_;
};

// The base address with one path segment added, whatever slashes it ends in.
QString JoinUrl(const QString& base, QStringView segment);
