#include "translate/TranslationRequest.h"

#include "base/TextHelpers.h"
#include "base/Utf8.h"

QByteArray BuildTranslationBody(QStringView sourceCode, QStringView targetCode,
                                QStringView sourceText) {
    const QByteArray text = PercentEncode(Utf16ToUtf8(JoinCrLf(sourceText)));
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
