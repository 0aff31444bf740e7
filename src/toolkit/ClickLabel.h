#pragma once

#include <QLabel>

// A label that reports double clicks.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
