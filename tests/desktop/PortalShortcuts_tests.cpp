// The portal client against a GlobalShortcuts portal of our own on a private
// session bus: the session, the shortcuts as bound, and their activations.
#include "desktop/PortalShortcuts.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <mutex>

// A shortcut as the portal takes it: (sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(Shortcut)

QDBusArgument& operator<<(QDBusArgument& out, const Shortcut& s) {
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, Shortcut& s) {
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The portal: answers each request with its Response signal, as portals do.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)
public:
    explicit FakePortal(QDBusConnection bus) : bus_(bus) {}
    uint version() const { return 1; }

    std::mutex m;
    QList<Shortcut> bound; // guarded by m
    QString sessionPath;   // guarded by m

public slots:
    QDBusObjectPath CreateSession(const QVariantMap& options, const QDBusMessage& message) {
        const QString request = RequestPath(message, options);
        {
            std::lock_guard lk(m);
            sessionPath = kPath + "/session/" + message.service().mid(1).replace('.', '_') + "/" +
                          options.value("session_handle_token").toString();
        }
        Respond(request, {{"session_handle", sessionPath}});
        return QDBusObjectPath(request);
    }
    QDBusObjectPath BindShortcuts(const QDBusObjectPath&, const QList<Shortcut>& shortcuts,
                                  const QString&, const QVariantMap& options,
                                  const QDBusMessage& message) {
        const QString request = RequestPath(message, options);
        {
            std::lock_guard lk(m);
            bound = shortcuts;
        }
        // Echoed back as bound (a real answer carries more properties).
        Respond(request, {{"shortcuts", QVariant::fromValue(shortcuts)}});
        return QDBusObjectPath(request);
    }
    void Activate(const QString& id) {
        QDBusMessage signal = QDBusMessage::createSignal(
            kPath, "org.freedesktop.portal.GlobalShortcuts", "Activated");
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(1)
               << QVariantMap();
        bus_.send(signal);
    }

private:
    QString RequestPath(const QDBusMessage& message, const QVariantMap& options) {
        return kPath + "/request/" + message.service().mid(1).replace('.', '_') + "/" +
               options.value("handle_token").toString();
    }
    void Respond(const QString& request, const QVariantMap& results) {
        // After the method's reply, as a real portal may.
        QTimer::singleShot(10, this, [this, request, results] {
            QDBusMessage signal =
                QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
            signal << uint(0) << results;
            bus_.send(signal);
        });
    }
    QDBusConnection bus_;
};

} // namespace

TEST(PortalShortcuts, BindsThePreferredKeysAndDeliversActivations) {
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
        GTEST_SKIP() << "dbus-daemon is needed (scripts/deps.sh)";
    const QByteArray address = daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    // The portal serves from a thread of its own, so blocking calls to it work.
    QThread thread;
    thread.start();
    QDBusConnection portalBus = QDBusConnection::connectToBus(QString::fromUtf8(address), "portal");
    ASSERT_TRUE(portalBus.isConnected());
    FakePortal portal(portalBus);
    portal.moveToThread(&thread);
    ASSERT_TRUE(portalBus.registerObject(
        kPath, &portal, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(portalBus.registerService("org.freedesktop.portal.Desktop"));

    ASSERT_TRUE(PortalShortcuts::Available());
    PortalShortcuts shortcuts;
    QStringList bound, activated;
    bool failed = false;
    shortcuts.OnBound = [&](const QStringList& ids) { bound = ids; };
    shortcuts.OnActivated = [&](const QString& id) { activated << id; };
    shortcuts.OnFailed = [&] { failed = true; };
    shortcuts.Bind({{"translate-selection", "翻译选中文本", "Ctrl+Alt+E"},
                    {"recognize-region", "图片文字识别", "Ctrl+Alt+O"}});
    ASSERT_TRUE(WaitFor([&] { return !bound.isEmpty() || failed; }));
    EXPECT_FALSE(failed);
    EXPECT_EQ(bound, QStringList({"translate-selection", "recognize-region"}));
    {
        std::lock_guard lk(portal.m);
        ASSERT_EQ(portal.bound.size(), 2);
        EXPECT_EQ(portal.bound[0].properties.value("preferred_trigger").toString(), "CTRL+ALT+e");
        EXPECT_EQ(portal.bound[1].properties.value("description").toString(), "图片文字识别");
    }
    QMetaObject::invokeMethod(&portal, [&] { portal.Activate("recognize-region"); });
    EXPECT_TRUE(WaitFor([&] { return !activated.isEmpty(); }));
    EXPECT_EQ(activated, QStringList({"recognize-region"}));

    portalBus.unregisterObject(kPath);
    QMetaObject::invokeMethod(
        &portal, [&] { portal.moveToThread(QCoreApplication::instance()->thread()); },
        Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    QDBusConnection::disconnectFromBus("portal");
    daemon.kill();
    daemon.waitForFinished();
}

TEST(PortalShortcuts, KeysInThePortalsWriting) {
    EXPECT_EQ(PortalShortcuts::PortalTrigger("Ctrl+Shift+Meta+F5"), "CTRL+SHIFT+LOGO+f5");
    EXPECT_EQ(PortalShortcuts::PortalTrigger(""), "");
    EXPECT_EQ(PortalShortcuts::PortalTrigger("Ctrl+E, Ctrl+F"), "");
}

#include "PortalShortcuts_tests.moc"
