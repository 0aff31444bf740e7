#include "toolkit/AppIcon.h"

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

QIcon QuillmateIcon() {
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            i.addPixmap(QuillmateIconPixmap(size));
        return i;
    }();
    return icon;
}
