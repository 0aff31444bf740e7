#include "PortalScreenshot.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenshot = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

} // namespace

// Receives the portal's one Response signal for our request.
class PortalResponse : public QObject {
    Q_OBJECT
public:
    QEventLoop loop;
    uint code = 2;
    QString uri;

public slots:
    void Response(uint response, const QVariantMap& results) {
        code = response;
        uri = results.value(QStringLiteral("uri")).toString();
        loop.quit();
    }
};

PortalResult TakePortalScreenshot(int answerLimitMs) {
    PortalResult result;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return result;
    QDBusMessage probe = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    probe << kScreenshot << QStringLiteral("version");
    if (bus.call(probe, QDBus::Block, 3000).type() != QDBusMessage::ReplyMessage)
        return result;
    result.available = true;

    // The request's path is known in advance, so we listen before asking and
    // cannot miss a fast answer.
    const QString token = QStringLiteral("quill%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString requestPath = kPath + QStringLiteral("/request/") + sender + '/' + token;
    PortalResponse response;
    bus.connect(kService, requestPath, kRequest, QStringLiteral("Response"), &response,
                SLOT(Response(uint, QVariantMap)));

    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kScreenshot, QStringLiteral("Screenshot"));
    QVariantMap options{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), true},
                        {QStringLiteral("modal"), true}};
    call << QString() << options;
    if (bus.call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage) {
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &response.loop, &QEventLoop::quit);
        limit.start(answerLimitMs);
        response.loop.exec();
        // Given up: the portal's dialog must not stay behind.
        if (!limit.isActive())
            bus.send(QDBusMessage::createMethodCall(kService, requestPath, kRequest,
                                                    QStringLiteral("Close")));
    }
    bus.disconnect(kService, requestPath, kRequest, QStringLiteral("Response"), &response,
                   SLOT(Response(uint, QVariantMap)));
    if (response.code == 0 && !response.uri.isEmpty())
        result.picture = QImage(QUrl(response.uri).toLocalFile());
    return result;
}

#include "PortalScreenshot.moc"
