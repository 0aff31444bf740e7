#pragma once

#include <QToolButton>

// The 32 x 32 speaker icon. A flat tool button rather than a painted picture,
// so screen readers and the keyboard see it as the button it is.
class TSpeakerImage : public QToolButton {
    Q_OBJECT
public:
    explicit TSpeakerImage(QWidget* parent = nullptr);

    // The speaker picture in the given colour.
    static QPixmap SpeakerPixmap(const QColor& color, int size, qreal dpr = 1.0);

protected:
    void paintEvent(QPaintEvent* event) override;
};
