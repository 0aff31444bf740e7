#include "toolkit/AppIcon.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// The icon as it was before its sizes were drawn on demand: all seven up front.
QIcon DrawnUpFront() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QuillmateIconPixmap(side));
    return icon;
}

QImage Painted(const QIcon& icon, const QSize& canvas, const QRect& rect, QIcon::Mode mode) {
    QImage image(canvas, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    icon.paint(&p, rect, Qt::AlignCenter, mode);
    return image;
}

} // namespace

TEST(AppIcon, DrawnOnDemandLooksAsDrawnUpFront) {
    const QIcon lazy = QuillmateIcon();
    const QIcon full = DrawnUpFront();
    EXPECT_EQ(lazy.availableSizes(), full.availableSizes());
    EXPECT_EQ(lazy.availableSizes(QIcon::Disabled), full.availableSizes(QIcon::Disabled));
    // Between the stored sizes, on them, and beyond the largest; not square too.
    const QSize asked[] = {{8, 8},     {16, 16},   {20, 20},   {24, 24}, {30, 30},
                           {100, 100}, {256, 256}, {300, 300}, {40, 20}, {20, 64}};
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected}) {
        for (const QSize& size : asked) {
            SCOPED_TRACE(testing::Message()
                         << size.width() << "x" << size.height() << " mode " << int(mode));
            EXPECT_EQ(lazy.actualSize(size, mode), full.actualSize(size, mode));
            EXPECT_EQ(lazy.pixmap(size, mode).toImage(), full.pixmap(size, mode).toImage());
            const QRect rect(QPoint(3, 5), size);
            EXPECT_EQ(Painted(lazy, size + QSize(8, 8), rect, mode),
                      Painted(full, size + QSize(8, 8), rect, mode));
        }
    }
}
