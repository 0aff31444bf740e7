#include "toolkit/TrayIcon.h"

#include <QSystemTrayIcon>

TbsTrayIcon::TbsTrayIcon(QObject* owner) : QObject(owner) {}

TbsTrayIcon::~TbsTrayIcon() = default;

void TbsTrayIcon::SetHint(const QString& hint) {
    hint_ = hint;
    if (tray_)
        tray_->setToolTip(hint);
}

void TbsTrayIcon::SetIcon(const QIcon& icon) {
    icon_ = icon;
    if (tray_)
        tray_->setIcon(icon);
}

void TbsTrayIcon::Show() {
    // The platform icon is made on first use: most runs never go to the tray.
    if (!tray_) {
        tray_ = new QSystemTrayIcon(icon_, this);
        tray_->setToolTip(hint_);
        tray_->setContextMenu(menu_);
        connect(tray_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger ||
                        reason == QSystemTrayIcon::DoubleClick)
                        Activate();
                });
    }
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray_->show();
    visible_ = true;
}

void TbsTrayIcon::Hide() {
    if (tray_)
        tray_->hide();
    visible_ = false;
}

void TbsTrayIcon::Activate() {
    if (OnClick)
        OnClick(this);
}

void TbsTrayIcon::SetMenu(QMenu* menu) {
    menu_ = menu;
    if (tray_)
        tray_->setContextMenu(menu);
}
