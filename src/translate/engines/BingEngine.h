#pragma once

#include "translate/engines/TranslationEngine.h"

// The public translator that browsers' built-in translation uses: a bearer
// token from the auth address (plain text, a JWT), then a JSON post to the
// translate address. The token is kept until shortly before it expires, or
// until the service refuses it.
class BingEngine : public TranslationEngine {
public:
    BingEngine(QString authUrl, QString url);

    QString Name() const override;
    QString Label() const override;
    std::optional<QString> Code(QStringView catalogueCode) const override;
    EngineRequest Request(const QString& source, const QString& target,
                          QStringView text) const override;
    std::optional<QString> Parse(QByteArrayView answer) const override;

    bool UsesToken() const override;
    bool NeedsToken(qint64 nowSecs) const override;
    EngineRequest TokenRequest() const override;
    bool TakeToken(QByteArrayView answer, qint64 nowSecs) override;
    void ForgetToken() override;

private:
    QString authUrl_, url_;
    QByteArray token_;
    qint64 useUntil_ = 0; // seconds since the epoch
};

// A token is given up this long before its "exp": a request in flight must
// not arrive with an expired one.
inline constexpr qint64 kTokenMarginSecs = 60;
// How long a token whose expiry cannot be read is used, and the longest any
// token is used, whatever it claims.
inline constexpr qint64 kUnknownTokenLifeSecs = 5 * 60;
inline constexpr qint64 kLongestTokenLifeSecs = 60 * 60;

// The "exp" claim (seconds since the epoch) of a JWT's payload; none when the
// token is no JWT or has no numeric "exp". Safe for any bytes.
std::optional<qint64> JwtExpiry(QByteArrayView token);
