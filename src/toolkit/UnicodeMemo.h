#pragma once

#include <QPlainTextEdit>
#include <functional>

// Multi-line Unicode text box. MaxLength limits what the user types or pastes;
// text the program sets with setPlainText is never cut. OnKeyDown sees every
// key press first and OnKeyPress every typed character (Enter as '\r'); a
// handler that sets the key to 0 swallows it.
class TUnicodeMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TUnicodeMemo(QWidget* parent = nullptr);

    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length) { maxLength_ = length; }

    // The text with its lines separated by CR LF.
    QString TextCRLF() const;

    std::function<void(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift)> OnKeyDown;
    std::function<void(QObject* Sender, QChar& Key)> OnKeyPress;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // How many more characters the user may add when `selected` of them are replaced.
    int Room(int selected) const;

    int maxLength_ = 0;
};
