#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>

class QMenu;
class QSystemTrayIcon;

// The tray icon. Created hidden; the frame shows it while the window is in the tray.
class TbsTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TbsTrayIcon(QObject* owner = nullptr);
    ~TbsTrayIcon() override;

    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    QIcon Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);

    bool IsVisible() const { return visible_; }
    void Show();
    void Hide();

    // The menu of a right click on the icon (not owned).
    void SetMenu(QMenu* menu);
    QMenu* Menu() const { return menu_; }

    // A click (or double click) on the icon.
    std::function<void(QObject* Sender)> OnClick;

    // Runs OnClick as a click on the icon would.
    void Activate();

private:
    QString hint_;
    QIcon icon_;
    bool visible_ = false;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* menu_ = nullptr;
};
