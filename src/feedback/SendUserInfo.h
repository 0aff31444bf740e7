#pragma once

#include "dialogs/SkinnedDialog.h"

#include <QDateTime>
#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class TUnicodeMemo;

// The feedback dialog: a message and a contact address posted to the maker's form.
class TSendUserInfo : public TSkinnedDialog {
    Q_OBJECT
public:
    explicit TSendUserInfo(QWidget* parent = nullptr);
    ~TSendUserInfo() override;

    static constexpr int DesignWidth = 501;
    static constexpr int DesignHeight = 268;
    static constexpr int MaxMessageLength = 1000;

    QLabel* Label2 = nullptr;
    QLineEdit* UserEMail = nullptr;
    QLabel* Label3 = nullptr;
    QFrame* bsSkinPanel1 = nullptr;
    TUnicodeMemo* InfoText = nullptr;
    QScrollBar* bsSkinScrollBar1 = nullptr;
    QPushButton* bsSkinButton3 = nullptr; // visit home page
    QPushButton* bsSkinButton1 = nullptr; // submit
    QPushButton* bsSkinButton2 = nullptr; // close

    // The local date and time of a submission (tests fix it).
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

    void FormShow(QObject* Sender) override;
    void bsSkinButton1Click(QObject* Sender);
    void bsSkinButton3Click(QObject* Sender);
    void InfoTextKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    void auHTTP1Done(QObject* Sender, const QString& ContentType, int FileSize,
                     QIODevice* Stream) override;
    void auHTTP1HTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream) override;
    void auHTTP1ConnLost(QObject* Sender, const QString& ContentType, int FileSize, int BytesRead,
                         QIODevice* Stream) override;
    void auHTTP1HostUnreachable(QObject* Sender) override;
    void auHTTP1WaitTimeoutExpired(QObject* Sender) override;
};
