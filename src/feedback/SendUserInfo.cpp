#include "feedback/SendUserInfo.h"

#include "base/Endpoints.h"
#include "feedback/FormEncode.h"
#include "feedback/InstallationId.h"
#include "http/auHTTP.h"
#include "platform/Connectivity.h"
#include "platform/ShellOpen.h"
#include "toolkit/CursorTable.h"
#include "toolkit/SkinMessage.h"
#include "toolkit/UnicodeMemo.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

TSendUserInfo::TSendUserInfo(QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral(" 提 交 信 息 "), DesignWidth, DesignHeight) {
    QWidget* client = ClientArea;
    Label2 = new QLabel(QStringLiteral("联系方式："), client);
    Label2->move(15, 22);
    UserEMail = new QLineEdit(client);
    UserEMail->setGeometry(80, 19, 399, 20);
    Label3 = new QLabel(QStringLiteral("提交内容："), client);
    Label3->move(15, 55);

    bsSkinPanel1 = new QFrame(client);
    bsSkinPanel1->setGeometry(80, 50, 399, 167);
    bsSkinPanel1->setFrameShape(QFrame::StyledPanel);
    auto* panelLayout = new QVBoxLayout(bsSkinPanel1);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    InfoText = new TUnicodeMemo(bsSkinPanel1);
    InfoText->SetMaxLength(MaxMessageLength);
    InfoText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    panelLayout->addWidget(InfoText);
    bsSkinScrollBar1 = InfoText->verticalScrollBar();

    bsSkinButton3 = AddButton(QRect(110, 230, 80, 25));
    bsSkinButton3->setText(QStringLiteral("访问主页"));
    bsSkinButton3->setToolTip(QStringLiteral("将上述内容提到给我们"));
    bsSkinButton1 = AddButton(QRect(212, 230, 120, 25));
    bsSkinButton2 = AddButton(QRect(354, 230, 80, 25));

    auHTTP1->RequestMethod = rmPOST;

    InfoText->OnKeyDown = [this](QObject* s, int& key, Qt::KeyboardModifiers shift) {
        InfoTextKeyDown(s, key, shift);
    };
    connect(bsSkinButton1, &QPushButton::clicked, this,
            [this] { bsSkinButton1Click(bsSkinButton1); });
    connect(bsSkinButton2, &QPushButton::clicked, this, &QDialog::reject);
    connect(bsSkinButton3, &QPushButton::clicked, this,
            [this] { bsSkinButton3Click(bsSkinButton3); });
    FormShow(this);
}

TSendUserInfo::~TSendUserInfo() = default;

void TSendUserInfo::FormShow(QObject*) {
    for (QPushButton* button : {bsSkinButton1, bsSkinButton2, bsSkinButton3})
        SetControlCursor(button, crAnimatedArrow);
    bsSkinButton1->setText(QStringLiteral("提 交 信 息"));
    bsSkinButton2->setText(QStringLiteral("关  闭"));
    UserEMail->setToolTip(QStringLiteral("请填写E-Mail或其它联系方式，以方便我们与您联系"));
    InfoText->setToolTip(QStringLiteral("提交的内容"));
    bsSkinButton1->setToolTip(QStringLiteral("将信息发送给我们,我们将予以回复"));
}

void TSendUserInfo::bsSkinButton1Click(QObject*) {
    if (InfoText->toPlainText().isEmpty()) {
        Message(QStringLiteral("   请 输 入 您 要 提 交 的 内 容！"), TbsSkinMessage::mtError);
        InfoText->setFocus();
        return;
    }
    if (!InternetGetConnectedState()) {
        Message(QStringLiteral("   计 算 机 没 有 连 接 到 网 络 !"), TbsSkinMessage::mtError);
        return;
    }
    FeedbackInput input;
    input.contact = UserEMail->text();
    input.message = InfoText->TextCRLF();
    input.now = Clock();
    input.productTag = kFeedbackProductTag;
    input.installationId = InstallationIdentifier();
    const QByteArray body = FeedbackBody(input);
    if (auHTTP1->IsBusy())
        return;
    auHTTP1->URL = EndpointUrl(Endpoint::Feedback);
    auHTTP1->POSTData = body;
    SetScreenCursor(crAnimatedBusy);
    auHTTP1->StartTransfer();
}

void TSendUserInfo::bsSkinButton3Click(QObject*) {
    ShellOpen(EndpointUrl(Endpoint::Home));
}

void TSendUserInfo::InfoTextKeyDown(QObject*, int& Key, Qt::KeyboardModifiers Shift) {
    const bool enter = Key == Qt::Key_Return || Key == Qt::Key_Enter;
    if (enter && (Shift & (Qt::ControlModifier | Qt::ShiftModifier)))
        bsSkinButton1Click(bsSkinButton1);
}

void TSendUserInfo::auHTTP1Done(QObject*, const QString&, int, QIODevice* Stream) {
    const QByteArray reply = Stream ? Stream->readAll() : QByteArray();
    if (HasSuccessMarker(reply)) {
        Message(QStringLiteral("   提 交 信 息 成 功 ，我 们 会 尽 快 回 复 您 。"),
                TbsSkinMessage::mtInformation);
        close();
    } else {
        Message(QStringLiteral("   提 交 信 息 失 败 ，请 稍 后 再 试 。"),
                TbsSkinMessage::mtError);
    }
    SetScreenCursor(crDefault);
}

void TSendUserInfo::auHTTP1HTTPError(QObject*, int, QIODevice*) {
    Message(QStringLiteral("   计 算 机 连 接 服 务 器 错 误 ，请 稍 后 再 试 。"),
            TbsSkinMessage::mtError);
    SetScreenCursor(crDefault);
}

// A reply cut short tells nothing about the submission; unhandled, it would
// leave the busy cursor up with no word to the user.
void TSendUserInfo::auHTTP1ConnLost(QObject* Sender, const QString&, int, int, QIODevice* Stream) {
    auHTTP1HTTPError(Sender, 200, Stream);
}

void TSendUserInfo::auHTTP1HostUnreachable(QObject*) {
    Message(QStringLiteral("   计 算 机 不 能 连 接 到 服 务 器 ，请 稍 后 再 试。"),
            TbsSkinMessage::mtError);
    SetScreenCursor(crDefault);
}

void TSendUserInfo::auHTTP1WaitTimeoutExpired(QObject*) {
    Message(QStringLiteral("   连 接 服 务 器 超 时 ，请 稍 后 再 试 。"), TbsSkinMessage::mtError);
    SetScreenCursor(crDefault);
}
