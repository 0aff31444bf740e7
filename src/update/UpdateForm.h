#pragma once

#include "dialogs/SkinnedDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The running version; the version file announces a newer one when its
// "version" text differs from this one in any way.
extern const char* const kRunningVersion;

// The update check: tests the connection, downloads the version file into the
// data folder and offers the newer version's download page.
class TUpdateForm : public TSkinnedDialog {
    Q_OBJECT
public:
    explicit TUpdateForm(QWidget* parent = nullptr);
    ~TUpdateForm() override;

    static constexpr int DesignWidth = 378;
    static constexpr int DesignHeight = 143;

    QLabel* Label1 = nullptr;
    QProgressBar* bsSkinGauge1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* bsSkinGauge2 = nullptr;
    QPushButton* bsSkinButton1 = nullptr; // start
    QPushButton* bsSkinButton2 = nullptr; // cancel

    // The four step texts, filled on show.
    QString StepOneIdle, StepOneDone, StepTwoIdle, StepTwoDone;

    static QString VersionFileUrl();
    static QString VersionFilePath();

    void FormShow(QObject* Sender) override;
    void ResetUpdateDialog();
    void bsSkinButton1Click(QObject* Sender);
    void bsSkinButton2Click(QObject* Sender);
    void auHTTP1Progress(QObject* Sender, const QString& ContentType, int DataSize, int BytesRead,
                         int ElapsedTime, int EstimatedTimeLeft, quint8 PercentsDone,
                         float TransferRate, QIODevice* Stream);
    void auHTTP1Done(QObject* Sender, const QString& ContentType, int FileSize,
                     QIODevice* Stream) override;
    void auHTTP1HTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream) override;
    void auHTTP1ConnLost(QObject* Sender, const QString& ContentType, int FileSize, int BytesRead,
                         QIODevice* Stream) override;
    void auHTTP1HostUnreachable(QObject* Sender) override;
    void auHTTP1WaitTimeoutExpired(QObject* Sender) override;

private:
    void SetGauge(QProgressBar* gauge, int value, const QString& text);
    void ErrorBack(const QString& text);

    bool outcomeSeen_ = false;
};
