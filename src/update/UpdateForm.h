#pragma once

#include <QDialog>
#include <QIODevice>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;
class TauHTTP;
class TbsBusinessSkinForm;
class TbsSkinMessage;

// The running version; the version file announces a newer one when its
// "version" text differs from this one in any way.
extern const char* const kRunningVersion;

// The update check: tests the connection, downloads the version file into the
// data folder and offers the newer version's download page.
class TUpdateForm : public QDialog {
    Q_OBJECT
public:
    explicit TUpdateForm(QWidget* parent = nullptr);
    ~TUpdateForm() override;

    static constexpr int DesignWidth = 378;
    static constexpr int DesignHeight = 143;

    // The skinned caption bar sits above the client area, which holds the controls.
    TbsBusinessSkinForm* bsBusinessSkinForm1 = nullptr;
    QWidget* ClientArea = nullptr;
    void SetClientSize(int width, int height);

    QLabel* Label1 = nullptr;
    QProgressBar* bsSkinGauge1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* bsSkinGauge2 = nullptr;
    QPushButton* bsSkinButton1 = nullptr; // start
    QPushButton* bsSkinButton2 = nullptr; // cancel
    TauHTTP* auHTTP1 = nullptr;

    // Where the messages go; the dialog's own box unless the owner sets its own.
    TbsSkinMessage* Messages = nullptr;

    // The four step texts, filled on show.
    QString StepOneIdle, StepOneDone, StepTwoIdle, StepTwoDone;

    static QString VersionFileUrl();
    static QString VersionFilePath();

    void FormShow(QObject* Sender);
    void ResetUpdateDialog();
    void bsSkinButton1Click(QObject* Sender);
    void bsSkinButton2Click(QObject* Sender);
    void auHTTP1Progress(QObject* Sender, const QString& ContentType, int DataSize, int BytesRead,
                         int ElapsedTime, int EstimatedTimeLeft, quint8 PercentsDone,
                         float TransferRate, QIODevice* Stream);
    void auHTTP1Done(QObject* Sender, const QString& ContentType, int FileSize, QIODevice* Stream);
    void auHTTP1HTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream);
    void auHTTP1ConnLost(QObject* Sender, const QString& ContentType, int FileSize, int BytesRead,
                         QIODevice* Stream);
    void auHTTP1HostUnreachable(QObject* Sender);
    void auHTTP1WaitTimeoutExpired(QObject* Sender);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetGauge(QProgressBar* gauge, int value, const QString& text);
    void ErrorBack(const QString& text);
    int Message(const QString& text, quint8 kind, quint16 buttons);

    bool outcomeSeen_ = false;
};
