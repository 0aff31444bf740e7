#include "toolkit/SkinComboBox.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QScreen>

TbsSkinComboBox::TbsSkinComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    // Every row is one line in one font: measuring the first serves them all,
    // where otherwise each restyle of the box measures every language again.
    if (auto* list = qobject_cast<QListView*>(view()))
        list->setUniformItemSizes(true);
}

void TbsSkinComboBox::SetItemIndex(int position) {
    if (position >= 0 && position < count()) {
        setCurrentIndex(position);
        return;
    }
    // No selection, but the box keeps showing what it showed.
    if (currentIndex() >= 0)
        setPlaceholderText(currentText());
    setCurrentIndex(-1);
}

void TbsSkinComboBox::showPopup() {
    QComboBox::showPopup();
    if (listCaption_.isEmpty())
        return;
    QWidget* container = view()->parentWidget();
    auto* layout = container ? qobject_cast<QBoxLayout*>(container->layout()) : nullptr;
    if (!layout)
        return;
    if (!captionLabel_) {
        captionLabel_ = new QLabel(container);
        captionLabel_->setObjectName(QStringLiteral("ListBoxCaption"));
        captionLabel_->setAttribute(Qt::WA_StyledBackground);
        captionLabel_->setContentsMargins(6, 2, 6, 2);
        captionLabel_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        layout->insertWidget(0, captionLabel_, 0);
    }
    captionLabel_->setText(listCaption_);
    captionLabel_->show();
    // Grow the open list by the caption so the nine rows stay visible.
    const int extra = captionLabel_->sizeHint().height();
    QRect geometry = container->geometry();
    geometry.setHeight(geometry.height() + extra);
    if (QScreen* screen = container->screen()) {
        const QRect area = screen->availableGeometry();
        if (geometry.bottom() > area.bottom())
            geometry.moveBottom(area.bottom());
    }
    container->setGeometry(geometry);
}

void TbsSkinComboBox::hidePopup() {
    // QComboBox also calls this when the box itself is hidden; only a list
    // that was open can close up.
    const bool wasOpen = view()->isVisible();
    QComboBox::hidePopup();
    if (wasOpen)
        emit closeUp();
}

void TbsSkinComboBox::paintEvent(QPaintEvent* event) {
    QComboBox::paintEvent(event);
    // Skins restyle the drop-down button; the chevron is drawn here in the
    // skin's text colour so no skin needs picture files.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor color =
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text);
    p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF c(width() - 11.0, height() / 2.0 + 1);
    p.drawPolyline(QPolygonF({c + QPointF(-4, -2.5), c + QPointF(0, 1.5), c + QPointF(4, -2.5)}));
}
