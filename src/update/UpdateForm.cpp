#include "update/UpdateForm.h"

#include "base/Endpoints.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "http/auHTTP.h"
#include "platform/Connectivity.h"
#include "platform/ShellOpen.h"
#include "toolkit/CursorTable.h"
#include "toolkit/SkinMessage.h"
#include "update/IniProfile.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

const char* const kRunningVersion = "8.0";

namespace {

const QString kConnectFailed = QStringLiteral("   连 接 服 务 器 失 败 ， 请 稍 后 再 试 。");

QProgressBar* MakeGauge(QWidget* parent, int x, int y) {
    auto* gauge = new QProgressBar(parent);
    gauge->setGeometry(x, y, 288, 20);
    gauge->setRange(0, 100);
    gauge->setTextVisible(true);
    gauge->setAlignment(Qt::AlignCenter);
    return gauge;
}

} // namespace

TUpdateForm::TUpdateForm(QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral("检 测 新 版 本"), DesignWidth, DesignHeight) {
    QWidget* client = ClientArea;
    Label1 = new QLabel(QStringLiteral("第一步："), client);
    Label1->move(16, 23);
    bsSkinGauge1 = MakeGauge(client, 68, 20);
    Label2 = new QLabel(QStringLiteral("第二步："), client);
    Label2->move(16, 61);
    bsSkinGauge2 = MakeGauge(client, 68, 58);
    bsSkinButton1 = AddButton(QRect(112, 106, 75, 25), QStringLiteral("开  始"));
    bsSkinButton2 = AddButton(QRect(222, 106, 75, 25), QStringLiteral("取  消"));
    SetGauge(bsSkinGauge1, 0, QStringLiteral("检测网络配置"));
    SetGauge(bsSkinGauge2, 0, QStringLiteral("获取升级信息"));

    auHTTP1->ThreadPriority = tpHigher;
    auHTTP1->WaitThread = true;
    auHTTP1->OnProgress = [this](QObject* s, const QString& type, int size, int read, int elapsed,
                                 int left, uint8_t percents, float rate, QIODevice* stream) {
        auHTTP1Progress(s, type, size, read, elapsed, left, percents, rate, stream);
    };

    connect(bsSkinButton1, &QPushButton::clicked, this,
            [this] { bsSkinButton1Click(bsSkinButton1); });
    connect(bsSkinButton2, &QPushButton::clicked, this,
            [this] { bsSkinButton2Click(bsSkinButton2); });
}

TUpdateForm::~TUpdateForm() = default;

QString TUpdateForm::VersionFileUrl() {
    return EndpointUrl(Endpoint::Update);
}

QString TUpdateForm::VersionFilePath() {
    return LocalAppDataPath() + "/version.ini";
}

void TUpdateForm::FormShow(QObject*) {
    StepOneIdle = QStringLiteral("检测网络配置");
    StepOneDone = QStringLiteral("检测网络配置...成功√");
    StepTwoIdle = QStringLiteral("获取升级信息");
    StepTwoDone = QStringLiteral("获取升级信息...成功√");
    bsSkinButton1->setText(QStringLiteral("开  始"));
    bsSkinButton2->setText(QStringLiteral("取  消"));
    ResetUpdateDialog();
}

void TUpdateForm::SetGauge(QProgressBar* gauge, int value, const QString& text) {
    gauge->setValue(value);
    // The gauge shows its text and never a percentage; '%' would be a placeholder.
    gauge->setFormat(QString(text).replace('%', "%%"));
}

void TUpdateForm::ResetUpdateDialog() {
    SetGauge(bsSkinGauge1, 0, StepOneIdle);
    SetGauge(bsSkinGauge2, 0, StepTwoIdle);
    bsSkinButton1->setEnabled(true);
}

void TUpdateForm::bsSkinButton1Click(QObject*) {
    bsSkinButton1->setEnabled(false);
    SetGauge(bsSkinGauge1, 0, QStringLiteral("正在检测网络配置..."));
    if (!InternetGetConnectedState()) {
        ResetUpdateDialog();
        Message(QStringLiteral("   连 接 到 网 络 错 误 ， 请 检 查 本 地 网 络 设 置 。"),
                TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
        return;
    }
    SetGauge(bsSkinGauge1, 100, StepOneDone);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    bsSkinGauge2->setFormat(QStringLiteral("正在获取升级信息..."));
    if (auHTTP1->IsBusy())
        return;
    SetScreenCursor(crAnimatedBusy);
    auHTTP1->URL = VersionFileUrl();
    auHTTP1->OutputFileName = VersionFilePath();
    // The outcome arrives through the events, an expired wait included.
    outcomeSeen_ = false;
    auHTTP1->StartTransfer();
    // A failure the component reports through no event handled here (the
    // version file cannot be written, say) must not leave the dialog stuck.
    if (!outcomeSeen_ && !auHTTP1->IsBusy() && isVisible()) {
        ResetUpdateDialog();
        Message(QStringLiteral("   获 取 升 级 信 息 失 败 ！ 请 稍 后 再 试 。"),
                TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
        SetScreenCursor(crDefault);
    }
}

void TUpdateForm::bsSkinButton2Click(QObject*) {
    if (auHTTP1->IsBusy())
        auHTTP1->AbortTransfer();
    close();
}

void TUpdateForm::auHTTP1Progress(QObject*, const QString&, int, int, int, int, quint8 PercentsDone,
                                  float, QIODevice*) {
    if (auHTTP1->URL == VersionFileUrl())
        bsSkinGauge2->setValue(PercentsDone);
}

void TUpdateForm::auHTTP1Done(QObject*, const QString&, int, QIODevice*) {
    if (auHTTP1->URL != VersionFileUrl())
        return;
    outcomeSeen_ = true;
    SetGauge(bsSkinGauge2, 100, StepTwoDone);
    const QString file = VersionFilePath();
    if (FileSizeOf(file) <= 0) {
        ResetUpdateDialog();
        Message(QStringLiteral("   获 取 升 级 信 息 失 败 ！ 请 稍 后 再 试 。"),
                TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
        close();
        SetScreenCursor(crDefault);
        return;
    }
    const TIniProfile ini = TIniProfile::FromFile(file);
    const QString version = ini.ReadString("information", "version");
    if (version == QLatin1String(kRunningVersion)) {
        Message(QStringLiteral("   检 测 升 级 信 息 完 成 ， 但 是 没 有 新 版 本。"),
                TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
    } else {
        const QString prompt = ini.ReadString("information", "NewVersionPrompt");
        const QString question =
            prompt.isEmpty()
                ? QStringLiteral("   获取升级信息完成，发现有新版本！！是否现在下载新版本？")
                : "   " + prompt;
        if (Message(question, TbsSkinMessage::mtConfirmation,
                    TbsSkinMessage::mbYes | TbsSkinMessage::mbNo) == TbsSkinMessage::mrYes) {
            // The file comes from the network: only a web page may be opened,
            // never a local document or program it might name.
            const QString path = ini.ReadString("information", "Path");
            if (IsWebAddress(path))
                ShellOpen(path.trimmed());
        }
    }
    ResetUpdateDialog();
    close();
    SetScreenCursor(crDefault);
}

void TUpdateForm::ErrorBack(const QString& text) {
    outcomeSeen_ = true;
    Message(text, TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
    ResetUpdateDialog();
    SetScreenCursor(crDefault);
}

void TUpdateForm::auHTTP1HTTPError(QObject*, int, QIODevice*) {
    ErrorBack(kConnectFailed);
}

void TUpdateForm::auHTTP1HostUnreachable(QObject*) {
    ErrorBack(kConnectFailed);
}

// An answer cut short is a failed connection too; unhandled, it would leave
// the dialog disabled under the busy cursor.
void TUpdateForm::auHTTP1ConnLost(QObject*, const QString&, int, int, QIODevice*) {
    ErrorBack(kConnectFailed);
}

void TUpdateForm::auHTTP1WaitTimeoutExpired(QObject*) {
    ErrorBack(QStringLiteral("   连 接 服 务 器 超 时 ， 请 稍 后 再 试 。"));
}
