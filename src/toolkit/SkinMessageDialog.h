#pragma once

#include <QDialog>
#include <QList>

class QPushButton;

// The dialog behind TbsSkinMessage::ShowSkinMessage.
class TbsSkinMessageDialog : public QDialog {
    Q_OBJECT
public:
    TbsSkinMessageDialog(const QString& text, int kind, int buttons, QWidget* parent = nullptr);

    // Shows the box modally, centred on the screen; returns the pressed button's code.
    int Execute();

    // Caption for a kind: the standard word, or the application title for custom.
    static QString KindCaption(int kind);
    // The button codes in the order the buttons appear (bit order).
    static QList<int> ButtonResults(int buttons);
    // The button pressed by Enter and the one answering Escape (0: none).
    static int DefaultResult(int buttons);
    static int EscapeResult(int buttons);
    static QString ButtonCaption(int result);

    QPushButton* ButtonFor(int result) const;

public slots:
    void reject() override;

private:
    int escapeResult_ = 0;
    QList<QPushButton*> buttons_;
};
