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

    // Most UTF-16 units a box takes from an answer: a hostile answer of
    // megabytes would freeze the window while the box lays it out.
    static constexpr qsizetype kAnswerLimit = 1 << 20;
    // Sets text that came from a server, cut to kAnswerLimit: after the last
    // line that fits when it ends near the limit, else at the limit, never
    // between the halves of a surrogate pair. A run of 16384 units without a
    // blank gets a line break, so laying it out never freezes the window.
    void SetAnswerText(const QString& text);
    // Replaces the whole text as a paste of text would, within MaxLength.
    void PasteText(const QString& text);

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
