#include "translate/TranslationRequest.h"

#include "base/TextHelpers.h"
#include "base/Utf8.h"

QString JoinLinesCrLf(QStringView text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u"\r\n";
        } else if (c == u'\n') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray BuildTranslationBody(QStringView sourceCode, QStringView targetCode,
                                QStringView sourceText) {
    const QByteArray text = PercentEncode(Utf16ToUtf8(JoinLinesCrLf(sourceText)));
    QByteArray body;
    body.reserve(sizeof kTranslateFormPrefix + 32 + text.size());
    body += kTranslateFormPrefix;
    body += Utf16ToUtf8(sourceCode);
    body += "&tl=";
    body += Utf16ToUtf8(targetCode);
    body += "&q=";
    body += text;
    return body;
}
