#pragma once

#include "translate/engines/TranslationEngine.h"

// The public "translate_a/single" form post, byte for byte as the program has
// always sent it; its codes are the catalogue's own.
class GoogleEngine : public TranslationEngine {
public:
    // url: the full address of "/translate_a/single"; empty: the endpoint
    // table's, read at each request.
    explicit GoogleEngine(QString url);

    QString Name() const override;
    QString Label() const override;
    std::optional<QString> Code(QStringView catalogueCode) const override;
    EngineRequest Request(const QString& source, const QString& target,
                          QStringView text) const override;
    // An answer without a single entry is unreadable; the lines of one that
    // has any are the translation, however empty.
    std::optional<QString> Parse(QByteArrayView answer) const override;

    // The lines of any answer, empty when it has no entry (what the window
    // always showed for it).
    static QString LinesOf(QByteArrayView answer);

private:
    QString url_;
};
