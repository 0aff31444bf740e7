#include "toolkit/BusinessSkinForm.h"

#include "toolkit/TrayIcon.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWindow>

// --- caption button ------------------------------------------------------

TbsCaptionButton::TbsCaptionButton(Glyph glyph, QWidget* parent)
    : QToolButton(parent), glyph_(glyph) {
    setFixedSize(34, 26);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void TbsCaptionButton::SetGlyph(Glyph glyph) {
    glyph_ = glyph;
    update();
}

void TbsCaptionButton::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::ButtonText), 1.4, Qt::SolidLine, Qt::SquareCap,
                  Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF c = QRectF(rect()).center();
    const qreal s = 5;
    switch (glyph_) {
    case gMinimize:
        p.drawLine(QPointF(c.x() - s, c.y() + 3), QPointF(c.x() + s, c.y() + 3));
        break;
    case gMaximize:
        p.drawRect(QRectF(c.x() - s, c.y() - s, 2 * s, 2 * s));
        break;
    case gRestore:
        p.drawRect(QRectF(c.x() - s, c.y() - s + 3, 2 * s - 3, 2 * s - 3));
        p.drawPolyline(
            QPolygonF({QPointF(c.x() - s + 3, c.y() - s + 3), QPointF(c.x() - s + 3, c.y() - s),
                       QPointF(c.x() + s, c.y() - s), QPointF(c.x() + s, c.y() + s - 3),
                       QPointF(c.x() + s - 3, c.y() + s - 3)}));
        break;
    case gToTray:
        p.drawLine(QPointF(c.x(), c.y() - s), QPointF(c.x(), c.y() + 2));
        p.drawPolyline(QPolygonF({QPointF(c.x() - 3.5, c.y() - 1.5), QPointF(c.x(), c.y() + 2),
                                  QPointF(c.x() + 3.5, c.y() - 1.5)}));
        p.drawLine(QPointF(c.x() - s, c.y() + s), QPointF(c.x() + s, c.y() + s));
        break;
    case gClose:
        p.drawLine(QPointF(c.x() - s, c.y() - s), QPointF(c.x() + s, c.y() + s));
        p.drawLine(QPointF(c.x() + s, c.y() - s), QPointF(c.x() - s, c.y() + s));
        break;
    }
}

// --- caption bar ---------------------------------------------------------

TbsCaptionBar::TbsCaptionBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("bsCaptionBar"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedHeight(32);
    IconLabel = new QLabel(this);
    IconLabel->setObjectName(QStringLiteral("bsCaptionIcon"));
    IconLabel->setFixedSize(20, 20);
    CaptionLabel = new QLabel(this);
    CaptionLabel->setObjectName(QStringLiteral("bsCaptionText"));
    MinimizeButton = new TbsCaptionButton(TbsCaptionButton::gMinimize, this);
    MinimizeButton->setObjectName(QStringLiteral("bsCaptionMinimize"));
    MinimizeButton->setToolTip(QStringLiteral("最小化"));
    MinimizeButton->setAccessibleName(QStringLiteral("最小化"));
    MaximizeButton = new TbsCaptionButton(TbsCaptionButton::gMaximize, this);
    MaximizeButton->setObjectName(QStringLiteral("bsCaptionMaximize"));
    MaximizeButton->setToolTip(QStringLiteral("最大化"));
    MaximizeButton->setAccessibleName(QStringLiteral("最大化"));
    TrayButton = new TbsCaptionButton(TbsCaptionButton::gToTray, this);
    TrayButton->setObjectName(QStringLiteral("bsCaptionTray"));
    TrayButton->setToolTip(QStringLiteral("最小化到托盘"));
    TrayButton->setAccessibleName(QStringLiteral("最小化到托盘"));
    CloseButton = new TbsCaptionButton(TbsCaptionButton::gClose, this);
    CloseButton->setObjectName(QStringLiteral("bsCaptionClose"));
    CloseButton->setToolTip(QStringLiteral("关闭"));
    CloseButton->setAccessibleName(QStringLiteral("关闭"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 0, 4, 0);
    row->setSpacing(0);
    row->addWidget(IconLabel);
    row->addSpacing(8);
    row->addWidget(CaptionLabel, 1);
    row->addWidget(TrayButton);
    row->addWidget(MinimizeButton);
    row->addWidget(MaximizeButton);
    row->addWidget(CloseButton);
}

void TbsCaptionBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        QWindow* handle = window()->windowHandle();
        dragging_ = !(handle && handle->startSystemMove());
        dragOffset_ = event->globalPosition().toPoint() - window()->pos();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TbsCaptionBar::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton) && !window()->isMaximized()) {
        window()->move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void TbsCaptionBar::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void TbsCaptionBar::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && MaximizeButton->isVisible()) {
        MaximizeButton->click();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void TbsCaptionBar::paintEvent(QPaintEvent*) {
    QStyleOption option;
    option.initFrom(this);
    QPainter p(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &p, this);
}

// --- frame ---------------------------------------------------------------

TbsBusinessSkinForm::TbsBusinessSkinForm(QWidget* form)
    : QObject(form), form_(form), bar_(new TbsCaptionBar(form)) {
    TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    form_->setMouseTracking(true);
    form_->installEventFilter(this);
    bar_->CaptionLabel->setText(form_->windowTitle());
    ShowFormIcon();

    connect(bar_->MinimizeButton, &QToolButton::clicked, this, [this] { form_->showMinimized(); });
    connect(bar_->MaximizeButton, &QToolButton::clicked, this, [this] { ToggleMaximize(); });
    connect(bar_->TrayButton, &QToolButton::clicked, this, [this] { MinimizeToTray(); });
    connect(bar_->CloseButton, &QToolButton::clicked, this, [this] { form_->close(); });
}

void TbsBusinessSkinForm::ShowFormIcon() {
    // A form given its icon late keeps the picture its caption was given.
    const QIcon icon = form_->windowIcon();
    if (!icon.isNull())
        bar_->IconLabel->setPixmap(icon.pixmap(20, 20));
}

void TbsBusinessSkinForm::SetTrayIcon(TbsTrayIcon* tray) {
    tray_ = tray;
    if (tray_)
        tray_->OnClick = [this](QObject*) { RestoreFromTray(); };
}

void TbsBusinessSkinForm::UpdateTrayButton() {
    const bool available = tray_ && TrayAvailable && TrayAvailable();
    bar_->TrayButton->setVisible(available || !HideTrayButtonWithoutTray);
}

void TbsBusinessSkinForm::MinimizeToTray() {
    if (!tray_ || !TrayAvailable || !TrayAvailable()) {
        // No tray to come back from: an ordinary minimise keeps the window reachable.
        form_->showMinimized();
        return;
    }
    tray_->Show();
    inTray_ = true;
    form_->hide();
}

void TbsBusinessSkinForm::RestoreFromTray() {
    if (!inTray_)
        return;
    restoring_ = true;
    form_->setWindowState(form_->windowState() & ~Qt::WindowMinimized);
    form_->show();
    form_->raise();
    form_->activateWindow();
    restoring_ = false;
    inTray_ = false;
    if (tray_)
        tray_->Hide();
    if (OnRestoreFromTray)
        OnRestoreFromTray(this);
}

void TbsBusinessSkinForm::ToggleMaximize() {
    if (form_->isMaximized())
        form_->showNormal();
    else
        form_->showMaximized();
}

Qt::Edges TbsBusinessSkinForm::EdgesAt(const QPoint& pos) const {
    Qt::Edges edges;
    if (form_->isMaximized())
        return edges;
    const int b = BorderWidth;
    if (pos.x() < b)
        edges |= Qt::LeftEdge;
    if (pos.x() >= form_->width() - b)
        edges |= Qt::RightEdge;
    if (pos.y() < b)
        edges |= Qt::TopEdge;
    if (pos.y() >= form_->height() - b)
        edges |= Qt::BottomEdge;
    return edges;
}

bool TbsBusinessSkinForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched != form_)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::WindowTitleChange:
        bar_->CaptionLabel->setText(form_->windowTitle());
        break;
    case QEvent::WindowIconChange:
        ShowFormIcon();
        break;
    case QEvent::WindowStateChange:
        bar_->MaximizeButton->SetGlyph(form_->isMaximized() ? TbsCaptionButton::gRestore
                                                            : TbsCaptionButton::gMaximize);
        break;
    case QEvent::Show:
        UpdateTrayButton();
        break;
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const Qt::Edges edges = EdgesAt(mouse->position().toPoint());
        if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
            form_->setCursor(Qt::SizeFDiagCursor);
        else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
            form_->setCursor(Qt::SizeBDiagCursor);
        else if (edges & (Qt::LeftEdge | Qt::RightEdge))
            form_->setCursor(Qt::SizeHorCursor);
        else if (edges & (Qt::TopEdge | Qt::BottomEdge))
            form_->setCursor(Qt::SizeVerCursor);
        else
            form_->unsetCursor();
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const Qt::Edges edges = EdgesAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && edges && form_->windowHandle()) {
            form_->windowHandle()->startSystemResize(edges);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

QWidget* TbsBusinessSkinForm::BuildFrame() {
    auto* outer = new QVBoxLayout(form_);
    outer->setContentsMargins(BorderWidth, 0, BorderWidth, BorderWidth);
    outer->setSpacing(0);
    outer->addWidget(bar_);
    auto* client = new QWidget(form_);
    client->setObjectName(QStringLiteral("ClientPanel"));
    client->setAttribute(Qt::WA_StyledBackground);
    outer->addWidget(client, 1);
    return client;
}
