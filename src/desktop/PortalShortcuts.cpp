#include "desktop/PortalShortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QKeySequence>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// One shortcut as the portal takes and gives it: (sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace {

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s) {
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s) {
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

} // namespace

PortalShortcuts::PortalShortcuts(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    QDBusConnection::sessionBus().connect(kService, kPath, kInterface, QStringLiteral("Activated"),
                                          this, SLOT(Activated(QDBusMessage)));
}

bool PortalShortcuts::Available() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kService).value())
        return false;
    // A portal implements an interface when it tells its version.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    return bus.call(get, QDBus::Block, 1000).type() == QDBusMessage::ReplyMessage;
}

QString PortalShortcuts::PortalTrigger(const QString& keys) {
    const QKeySequence sequence =
        QKeySequence::fromString(keys.trimmed(), QKeySequence::PortableText);
    if (sequence.count() != 1 || sequence[0].key() == Qt::Key_unknown)
        return {};
    const QKeyCombination c = sequence[0];
    QStringList parts;
    const Qt::KeyboardModifiers m = c.keyboardModifiers();
    if (m & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (m & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (m & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (m & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    parts << QKeySequence(c.key()).toString(QKeySequence::PortableText).toLower();
    return parts.join('+');
}

GlobalShortcuts::Refusals PortalShortcuts::Bind(std::vector<Shortcut> shortcuts) {
    shortcuts_ = std::move(shortcuts);
    stage_ = Stage::Creating;
    Call(QStringLiteral("CreateSession"), {},
         {{QStringLiteral("session_handle_token"), QStringLiteral("quillmate")}});
    return {};
}

void PortalShortcuts::Call(const QString& method, QList<QVariant> arguments, QVariantMap options) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = QStringLiteral("quillmate%1").arg(++tokens_);
    options.insert(QStringLiteral("handle_token"), token);
    // The portal names the request object after our name on the bus and the token.
    QString sender = bus.baseService().mid(1);
    sender.replace('.', '_');
    if (!request_.isEmpty())
        bus.disconnect(kService, request_, kRequest, QStringLiteral("Response"), this,
                       SLOT(Response(uint, QVariantMap)));
    request_ = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    bus.connect(kService, request_, kRequest, QStringLiteral("Response"), this,
                SLOT(Response(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    arguments << options;
    call.setArguments(arguments);
    // Asynchronous: a portal may ask the user before it answers.
    if (!bus.callWithCallback(call, this, SLOT(Sent()), SLOT(CallFailed(QDBusError))))
        Fail();
}

void PortalShortcuts::Response(uint response, const QVariantMap& results) {
    if (response != 0) {
        Fail();
        return;
    }
    if (stage_ == Stage::Creating) {
        session_ = results.value(QStringLiteral("session_handle")).toString();
        QList<PortalShortcut> list;
        for (const Shortcut& s : shortcuts_) {
            QVariantMap properties{{QStringLiteral("description"), s.description}};
            const QString trigger = PortalTrigger(s.keys);
            if (!trigger.isEmpty())
                properties.insert(QStringLiteral("preferred_trigger"), trigger);
            list << PortalShortcut{s.id, properties};
        }
        stage_ = Stage::Binding;
        Call(QStringLiteral("BindShortcuts"),
             {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(list), QString()},
             {});
    } else if (stage_ == Stage::Binding) {
        stage_ = Stage::Bound;
        QStringList ids;
        const auto bound =
            qdbus_cast<QList<PortalShortcut>>(results.value(QStringLiteral("shortcuts")));
        for (const PortalShortcut& s : bound)
            ids << s.id;
        if (OnBound)
            OnBound(ids);
    }
}

void PortalShortcuts::Activated(const QDBusMessage& message) {
    // (o session, s id, t timestamp, a{sv} options)
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || stage_ != Stage::Bound)
        return;
    if (args[0].value<QDBusObjectPath>().path() == session_ && OnActivated)
        OnActivated(args[1].toString());
}

void PortalShortcuts::CallFailed(const QDBusError&) {
    Fail();
}

void PortalShortcuts::Fail() {
    stage_ = Stage::Idle;
    if (OnFailed)
        OnFailed();
}
