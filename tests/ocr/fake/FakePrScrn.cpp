// Stands in for the capture library in tests without a screen: it puts a
// picture of the size in FAKE_PRSCRN_SIZE ("WxH") on the clipboard, or nothing
// when the variable is empty ("cancelled"). Each call is counted.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

extern "C" {
Q_DECL_EXPORT int PrScrnCalls = 0;
}

extern "C" Q_DECL_EXPORT int PrScrn() {
    ++PrScrnCalls;
    const QByteArray size = qgetenv("FAKE_PRSCRN_SIZE");
    const QList<QByteArray> sides = size.split('x');
    if (sides.size() != 2)
        return 0;
    QImage picture(sides[0].toInt(), sides[1].toInt(), QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    QGuiApplication::clipboard()->setImage(picture);
    return 1;
}
