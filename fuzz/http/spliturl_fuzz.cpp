// Feeds any text to SplitUrl: it must never fail to return, must keep within
// its limits when it succeeds, and must leave every output as it was when it
// does not. The split of the parts as written has to agree with it.
#include "http/auUtils.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // First byte chooses the decoding, so control characters and invalid
    // UTF-8 both get through.
    const char* text = reinterpret_cast<const char*>(data);
    const qsizetype n = static_cast<qsizetype>(size);
    const QString url = (size > 0 && data[0] % 2) ? QString::fromUtf8(text + 1, n - 1)
                                                  : QString::fromLatin1(text, n);

    const QString sentinel = QStringLiteral("\x01untouched");
    QString scheme = sentinel, host = sentinel, user = sentinel, pass = sentinel, path = sentinel,
            extra = sentinel;
    uint16_t port = 4242;
    const bool ok = SplitUrl(url, scheme, host, port, user, pass, path, extra);
    RawUrlParts raw;
    Check(SplitUrlRaw(url, raw) == ok);
    if (!ok) {
        for (const QString* part : {&scheme, &host, &user, &pass, &path, &extra})
            Check(*part == sentinel);
        Check(port == 4242);
        return 0;
    }
    Check(!scheme.isEmpty() && scheme.size() <= 32);
    Check(host.size() <= 256 && user.size() <= 128 && pass.size() <= 128);
    Check(path.size() <= 2048 && extra.size() <= 2048);
    Check(extra.isEmpty() || extra.startsWith('?') || extra.startsWith('#'));
    Check(!host.isEmpty() || scheme.compare(QLatin1String("file"), Qt::CaseInsensitive) == 0);
    if (!url.contains(QLatin1String("://")))
        Check(scheme == QLatin1String("http"));
    Check(raw.scheme == scheme && raw.port == port);
    return 0;
}
