#pragma once

#include <QComboBox>
#include <QPointer>

class QLabel;

// A fixed drop-down list whose open list carries a caption line above the items.
class TbsSkinComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TbsSkinComboBox(QWidget* parent = nullptr);

    QString ListBoxCaption() const { return listCaption_; }
    void SetListBoxCaption(const QString& caption) { listCaption_ = caption; }

    // Selects position; a position outside the list leaves no selection and
    // keeps the text shown so far.
    void SetItemIndex(int position);

    void showPopup() override;
    void hidePopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

signals:
    // The open list has closed (with or without a choice).
    void closeUp();

private:
    QString listCaption_;
    QPointer<QLabel> captionLabel_;
};
