#include "translate/engines/GoogleEngine.h"

#include "base/Endpoints.h"
#include "base/Utf8.h"
#include "translate/TranslationRequest.h"
#include "translate/TranslationResponse.h"

GoogleEngine::GoogleEngine(QString url) : url_(std::move(url)) {}

QString GoogleEngine::Name() const {
    return QStringLiteral("google");
}

QString GoogleEngine::Label() const {
    return QStringLiteral("Google");
}

// The catalogue's codes are this service's; even an empty one (a list without
// a selection) goes out as it is.
std::optional<QString> GoogleEngine::Code(QStringView catalogueCode) const {
    return catalogueCode.toString();
}

EngineRequest GoogleEngine::Request(const QString& source, const QString& target,
                                    QStringView text) const {
    return {url_.isEmpty() ? EndpointUrl(Endpoint::Translate) : url_,
            QString::fromLatin1(kTranslateAgent),
            {},
            BuildTranslationBody(source, target, text)};
}

std::optional<QString> GoogleEngine::Parse(QByteArrayView answer) const {
    QString lines = LinesOf(answer);
    if (lines.isEmpty())
        return std::nullopt;
    return lines;
}

QString GoogleEngine::LinesOf(QByteArrayView answer) {
    return Utf8ToUtf16(ParseTranslationResponse(StringListText(answer)));
}
