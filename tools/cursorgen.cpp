// cursorgen: paints the program's two animated cursors and writes them as
// .ani files into the folder given.
//
//   cursorgen DIR    writes DIR/appstarting.ani (busy) and DIR/arrow.ani
//
// Both are 32 x 32 with the hotspot on the arrow's tip. The busy cursor is the
// arrow with a ring whose bright arc turns; the arrow cursor lets a soft light
// glide down the arrow and back, resting between passes.

#include "anicodec/AniCodec.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kSide = 32;
const QPoint kHotSpot(1, 1);

QPainterPath ArrowPath() {
    QPainterPath path;
    path.moveTo(1, 1);
    path.lineTo(1, 23);
    path.lineTo(6.5, 18);
    path.lineTo(10, 26.5);
    path.lineTo(13.5, 25);
    path.lineTo(10, 16.5);
    path.lineTo(17, 16.5);
    path.closeSubpath();
    return path;
}

QImage Blank() {
    QImage image(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void PaintArrow(QPainter& p, const QBrush& fill) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 20, 24), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(ArrowPath().translated(0.5, 0.5));
}

// A light band at t (0 top .. 1 bottom) across the white arrow.
QImage ArrowFrame(double t) {
    QImage image = Blank();
    QPainter p(&image);
    if (t < 0) {
        PaintArrow(p, Qt::white);
        return image;
    }
    QLinearGradient g(QPointF(0, 0), QPointF(14, 27));
    const QColor base(255, 255, 255);
    const QColor glow(176, 214, 255);
    g.setColorAt(0, base);
    g.setColorAt(std::max(0.0, t - 0.25), base);
    g.setColorAt(std::clamp(t, 0.01, 0.99), glow);
    g.setColorAt(std::min(1.0, t + 0.25), base);
    g.setColorAt(1, base);
    PaintArrow(p, g);
    return image;
}

QImage BusyFrame(int frame, int frames) {
    QImage image = Blank();
    QPainter p(&image);
    PaintArrow(p, Qt::white);
    const QRectF ring(16.5, 17.5, 13, 13);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(20, 20, 24), 4.6));
    p.drawEllipse(ring);
    p.setPen(QPen(QColor(225, 230, 238), 2.6));
    p.drawEllipse(ring);
    // Qt angles are in 1/16 degree, counter-clockwise; turn clockwise.
    const int start = 90 * 16 - frame * (360 * 16 / frames);
    p.setPen(QPen(QColor(32, 120, 230), 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(ring, start, -120 * 16);
    return image;
}

TAniCursorData Busy() {
    constexpr int frames = 12;
    TAniCursorData data;
    for (int i = 0; i < frames; ++i) {
        data.Frames.push_back({BusyFrame(i, frames), kHotSpot});
        data.Steps.push_back({i, 5});
    }
    return data;
}

TAniCursorData Arrow() {
    constexpr int frames = 6;
    TAniCursorData data;
    for (int i = 0; i < frames; ++i)
        data.Frames.push_back({ArrowFrame(i == 0 ? -1.0 : double(i) / (frames - 1)), kHotSpot});
    // Down and back up, then a rest on the plain frame.
    const int order[] = {0, 1, 2, 3, 4, 5, 4, 3, 2, 1};
    for (int f : order)
        data.Steps.push_back({f, f == 0 ? 45 : 4});
    return data;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    std::fprintf(stderr, "cursorgen: %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: cursorgen DIR\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const bool ok = Write(dir.filePath("appstarting.ani"), WriteAniCursor(Busy())) &&
                    Write(dir.filePath("arrow.ani"), WriteAniCursor(Arrow()));
    return ok ? 0 : 1;
}
