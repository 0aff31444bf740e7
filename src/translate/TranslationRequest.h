#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The translation service's form post. The agent set on the window's transfer
// component at creation, and the one put in place before every request.
inline constexpr char kTranslateInitialAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
inline constexpr char kTranslateAgent[] =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; CIBA)";
inline constexpr int kTranslateTransferBufferSize = 40960;

// Everything of the body before the source code; the service expects "dt" ten
// times and the doubled "&" before "sl=" exactly like this.
inline constexpr char kTranslateFormPrefix[] =
    "client=gtx&dt=bd&dt=ex&dt=ld&dt=md&dt=qca&dt=rw&dt=rm&dt=ss&dt=t&dt=at&&sl=";

// The body of the translation request: the fixed text, both codes as they
// are, and the source text with CR LF line breaks, turned into UTF-8 one
// UTF-16 code unit at a time and percent-encoded.
QByteArray BuildTranslationBody(QStringView sourceCode, QStringView targetCode,
                                QStringView sourceText);
