#include "toolkit/AppIcon.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

// A rounded tile with a speech bubble and a quill laid across it: text that
// talks and text that is written.
QPixmap QuillmateIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient tile(0, 0, 64, 64);
    tile.setColorAt(0, QColor(0x1f, 0x4e, 0xa8));
    tile.setColorAt(1, QColor(0x12, 0x9c, 0x9a));
    QPainterPath frame;
    frame.addRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    p.fillPath(frame, tile);

    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(9, 11, 40, 28), 9, 9);
    QPainterPath tail;
    tail.moveTo(16, 36);
    tail.lineTo(13, 47);
    tail.lineTo(26, 38);
    tail.closeSubpath();
    bubble = bubble.united(tail);
    p.fillPath(bubble, QColor(255, 255, 255, 240));

    QPen lines(QColor(0x1f, 0x4e, 0xa8), 3, Qt::SolidLine, Qt::RoundCap);
    p.setPen(lines);
    p.drawLine(QPointF(16, 21), QPointF(38, 21));
    p.drawLine(QPointF(16, 29), QPointF(31, 29));

    QPainterPath feather;
    feather.moveTo(56, 8);
    feather.cubicTo(44, 12, 34, 26, 30, 50);
    feather.cubicTo(40, 40, 52, 26, 56, 8);
    QLinearGradient gold(30, 50, 56, 8);
    gold.setColorAt(0, QColor(0xf2, 0xa9, 0x1d));
    gold.setColorAt(1, QColor(0xff, 0xe0, 0x8a));
    p.setPen(QPen(QColor(0x8a, 0x55, 0x05), 1.2));
    p.setBrush(gold);
    p.drawPath(feather);
    p.setPen(QPen(QColor(0x8a, 0x55, 0x05), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(53, 12), QPointF(27, 56));
    return pixmap;
}

namespace {

constexpr int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The seven sizes, each drawn the first time something asks for it: the
// window needs one or two at start, and drawing all of them cost more than
// building its labels. Every answer comes from a plain icon holding the
// chosen size, so scaling and the disabled and selected looks are Qt's own.
class QuillmateIconEngine : public QIconEngine {
public:
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Drawn(size).pixmap(size, 1.0, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Drawn(size).actualSize(size, mode, state);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size() * ratio, mode, state, ratio));
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        QList<QSize> sizes;
        if (mode == QIcon::Normal && state == QIcon::Off)
            for (int side : kIconSizes)
                sizes.append(QSize(side, side));
        return sizes;
    }
    QString key() const override { return QStringLiteral("quillmate"); }
    QIconEngine* clone() const override { return new QuillmateIconEngine(*this); }

private:
    // As a plain icon picks among its pixmaps: the smallest that covers the
    // request's area, else the largest.
    static int Pick(const QSize& size) {
        const qint64 wanted = qint64(size.width()) * size.height();
        for (std::size_t i = 0; i < std::size(kIconSizes); ++i)
            if (qint64(kIconSizes[i]) * kIconSizes[i] >= wanted)
                return int(i);
        return int(std::size(kIconSizes)) - 1;
    }

    const QIcon& Drawn(const QSize& size) {
        const int pick = Pick(size);
        if (drawn_[pick].isNull())
            drawn_[pick].addPixmap(QuillmateIconPixmap(kIconSizes[pick]));
        return drawn_[pick];
    }

    QIcon drawn_[std::size(kIconSizes)];
};

} // namespace

QIcon QuillmateIcon() {
    // Shared, so a size drawn once serves the window, the tray and the caption.
    static const QIcon icon(new QuillmateIconEngine);
    return icon;
}
