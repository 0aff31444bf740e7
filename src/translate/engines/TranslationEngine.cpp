#include "translate/engines/TranslationEngine.h"

#include "translate/engines/EngineFailure.h"

bool TranslationEngine::UsesToken() const {
    return false;
}

bool TranslationEngine::NeedsToken(qint64) const {
    return false;
}

EngineRequest TranslationEngine::TokenRequest() const {
    return {};
}

bool TranslationEngine::TakeToken(QByteArrayView, qint64) {
    return false;
}

void TranslationEngine::ForgetToken() {}

QString FailureKindName(FailureKind kind) {
    switch (kind) {
    case FailureKind::Unreachable:
        return QStringLiteral("unreachable");
    case FailureKind::Silent:
        return QStringLiteral("silent");
    case FailureKind::Refused:
        return QStringLiteral("refused");
    case FailureKind::Unreadable:
        return QStringLiteral("unreadable");
    case FailureKind::NotOffered:
        return QStringLiteral("not offered");
    }
    return {};
}

QString LinesWithCrLf(QStringView text) {
    QString out;
    out.reserve(text.size() + 16);
    qsizetype pendingBreaks = 0; // held back so that breaks at the end vanish
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            ++pendingBreaks;
            continue;
        }
        for (; pendingBreaks > 0; --pendingBreaks)
            out += QStringLiteral("\r\n");
        out += c;
    }
    if (!out.isEmpty())
        out += QStringLiteral("\r\n");
    return out;
}

QString JoinLf(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u'\n';
        } else {
            out += c;
        }
    }
    return out;
}
