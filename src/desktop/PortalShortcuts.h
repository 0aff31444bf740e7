#pragma once

#include "desktop/GlobalShortcuts.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <vector>

// Global shortcuts through the desktop portal (org.freedesktop.portal.
// GlobalShortcuts), for Wayland sessions where no program may grab keys: one
// session, the shortcuts bound with the keys we prefer (the desktop may ask
// the user or choose others), then their activations.
class PortalShortcuts : public QObject, public GlobalShortcuts {
    Q_OBJECT
public:
    explicit PortalShortcuts(QObject* parent = nullptr);

    // Whether the session bus has a portal with this interface.
    static bool Available();
    // Creates the session and binds the shortcuts, the keys as preferred
    // ones; the answers come later, so nothing is refused at once.
    Refusals Bind(std::vector<Shortcut> shortcuts) override;
    // The ids the desktop bound.
    std::function<void(const QStringList& ids)> OnBound;
    // The portal refused, or the user cancelled.
    std::function<void()> OnFailed;

    // "Ctrl+Alt+E" as the portal writes keys: "CTRL+ALT+e"; empty when the
    // text names no single key combination.
    static QString PortalTrigger(const QString& keys);

private slots:
    void Sent() {} // the reply names the request object, which is known already
    void CallFailed(const QDBusError& error);
    void Response(uint response, const QVariantMap& results);
    void Activated(const QDBusMessage& message);

private:
    enum class Stage { Idle, Creating, Binding, Bound };
    // Calls method with a fresh handle token; the answer is the Response
    // signal of the request object, which is listened to before the call.
    void Call(const QString& method, QList<QVariant> arguments, QVariantMap options);
    void Fail();

    std::vector<Shortcut> shortcuts_;
    QString session_;
    QString request_; // the request object of the call in progress
    Stage stage_ = Stage::Idle;
    int tokens_ = 0;
};
