#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDialog>
#include <QIODevice>
#include <QString>
#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class TauHTTP;
class TbsBusinessSkinForm;
class TbsSkinMessage;
class TUnicodeMemo;

// The feedback dialog: a message and a contact address posted to the maker's form.
class TSendUserInfo : public QDialog {
    Q_OBJECT
public:
    explicit TSendUserInfo(QWidget* parent = nullptr);
    ~TSendUserInfo() override;

    static constexpr int DesignWidth = 501;
    static constexpr int DesignHeight = 268;
    static constexpr int MaxMessageLength = 1000;

    // The skinned caption bar sits above the client area, which holds the controls.
    TbsBusinessSkinForm* bsBusinessSkinForm1 = nullptr;
    QWidget* ClientArea = nullptr;
    void SetClientSize(int width, int height);

    QLabel* Label2 = nullptr;
    QLineEdit* UserEMail = nullptr;
    QLabel* Label3 = nullptr;
    QFrame* bsSkinPanel1 = nullptr;
    TUnicodeMemo* InfoText = nullptr;
    QScrollBar* bsSkinScrollBar1 = nullptr;
    QPushButton* bsSkinButton3 = nullptr; // visit home page
    QPushButton* bsSkinButton1 = nullptr; // submit
    QPushButton* bsSkinButton2 = nullptr; // close
    TauHTTP* auHTTP1 = nullptr;

    // Where the messages go; the dialog's own box unless the owner sets its own.
    TbsSkinMessage* Messages = nullptr;
    // The local date and time of a submission (tests fix it).
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

    void FormShow(QObject* Sender);
    void bsSkinButton1Click(QObject* Sender);
    void bsSkinButton3Click(QObject* Sender);
    void InfoTextKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void auHTTP1Done(QObject* Sender, const QString& ContentType, int FileSize, QIODevice* Stream);
    void auHTTP1HTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream);
    void auHTTP1ConnLost(QObject* Sender, const QString& ContentType, int FileSize, int BytesRead,
                         QIODevice* Stream);
    void auHTTP1HostUnreachable(QObject* Sender);
    void auHTTP1WaitTimeoutExpired(QObject* Sender);

protected:
    void showEvent(QShowEvent* event) override;

private:
    int Message(const QString& text, quint8 kind);
};
