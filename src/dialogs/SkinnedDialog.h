#pragma once

#include <QDialog>
#include <QIODevice>
#include <QString>

class QPushButton;
class QRect;
class TauHTTP;
class TbsBusinessSkinForm;
class TbsSkinMessage;

// A fixed-size frameless dialog with the program's skinned caption bar
// (caption and close button only) above a client area that holds the
// controls, a message box of its own and one transfer component whose
// outcome events reach the handlers below.
class TSkinnedDialog : public QDialog {
    Q_OBJECT
public:
    ~TSkinnedDialog() override;

    TbsBusinessSkinForm* bsBusinessSkinForm1 = nullptr;
    QWidget* ClientArea = nullptr;
    void SetClientSize(int width, int height);

    // Where the messages go; the dialog's own box unless the owner sets its own.
    TbsSkinMessage* Messages = nullptr;
    // No cache, no cookies, a 30 s wait; the dialog adds what it needs.
    TauHTTP* auHTTP1 = nullptr;

    // Runs on every show the program asks for (not on a window manager's).
    virtual void FormShow(QObject* Sender) = 0;
    virtual void auHTTP1Done(QObject* Sender, const QString& ContentType, int FileSize,
                             QIODevice* Stream) = 0;
    virtual void auHTTP1HTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream) = 0;
    virtual void auHTTP1ConnLost(QObject* Sender, const QString& ContentType, int FileSize,
                                 int BytesRead, QIODevice* Stream) = 0;
    virtual void auHTTP1HostUnreachable(QObject* Sender) = 0;
    virtual void auHTTP1WaitTimeoutExpired(QObject* Sender) = 0;

protected:
    TSkinnedDialog(QWidget* parent, const QString& caption, int clientWidth, int clientHeight);
    void showEvent(QShowEvent* event) override;
    int Message(const QString& text, quint8 kind, quint16 buttons);
    // With an OK button alone.
    int Message(const QString& text, quint8 kind);
    // A button on the client area. Not a default button: in a dialog those
    // take every Enter, even one typed into a text box.
    QPushButton* AddButton(const QRect& geometry, const QString& caption = QString());
};
