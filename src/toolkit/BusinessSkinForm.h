#pragma once

#include <QObject>
#include <QToolButton>
#include <QWidget>
#include <functional>

class QLabel;
class TbsTrayIcon;

// A caption button that draws its own glyph in the skin's text colour.
class TbsCaptionButton : public QToolButton {
    Q_OBJECT
public:
    enum Glyph { gMinimize, gMaximize, gRestore, gToTray, gClose };
    TbsCaptionButton(Glyph glyph, QWidget* parent = nullptr);
    void SetGlyph(Glyph glyph);
    Glyph CurrentGlyph() const { return glyph_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Glyph glyph_;
};

// The skin-drawn caption bar: icon, caption, and the caption buttons.
// Dragging it moves the window; a double click maximises or restores.
class TbsCaptionBar : public QWidget {
    Q_OBJECT
public:
    explicit TbsCaptionBar(QWidget* parent = nullptr);
    QLabel* IconLabel = nullptr;
    QLabel* CaptionLabel = nullptr;
    TbsCaptionButton* MinimizeButton = nullptr;
    TbsCaptionButton* MaximizeButton = nullptr;
    TbsCaptionButton* TrayButton = nullptr;
    TbsCaptionButton* CloseButton = nullptr;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Set while the window is dragged by hand (no window manager to do it).
    bool dragging_ = false;
    QPoint dragOffset_;
};

// The skinned frame of a frameless top-level window: caption bar with
// minimise, maximise, minimise-to-tray and close; resizing from the edges;
// minimising to the tray and coming back.
class TbsBusinessSkinForm : public QObject {
    Q_OBJECT
public:
    // form: the frameless top-level window this frame decorates.
    explicit TbsBusinessSkinForm(QWidget* form);

    TbsCaptionBar* CaptionBar() const { return bar_; }
    QWidget* Form() const { return form_; }

    TbsTrayIcon* TrayIcon() const { return tray_; }
    void SetTrayIcon(TbsTrayIcon* tray);

    // Where the desktop has no tray, minimising to it would leave no way back;
    // the tray button then minimises normally. Replaceable for tests.
    std::function<bool()> TrayAvailable;
    // Hide the tray caption button (instead of plain minimising) without a tray.
    bool HideTrayButtonWithoutTray = false;

    bool InTray() const { return inTray_; }
    // True while the window is being shown again after the tray.
    bool Restoring() const { return restoring_; }
    void MinimizeToTray();
    void RestoreFromTray();
    void ToggleMaximize();
    // Re-checks the tray and shows or hides the tray button accordingly.
    void UpdateTrayButton();

    // Width of the edge that resizes the window.
    static constexpr int BorderWidth = 4;

    // Lays the form out as caption bar over a styled "ClientPanel" that takes
    // the rest, inside the resizing edge; returns the panel.
    QWidget* BuildFrame();

    std::function<void(QObject* Sender)> OnRestoreFromTray;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Qt::Edges EdgesAt(const QPoint& pos) const;
    void ShowFormIcon();

    QWidget* form_;
    TbsCaptionBar* bar_;
    TbsTrayIcon* tray_ = nullptr;
    bool inTray_ = false;
    bool restoring_ = false;
};
