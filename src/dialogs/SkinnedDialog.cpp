#include "dialogs/SkinnedDialog.h"

#include "http/auHTTP.h"
#include "toolkit/BusinessSkinForm.h"
#include "toolkit/SkinMessage.h"

#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TSkinnedDialog::TSkinnedDialog(QWidget* parent, const QString& caption, int clientWidth,
                               int clientHeight)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    // The caption bar reads the title when it is made.
    setWindowTitle(caption);
    bsBusinessSkinForm1 = new TbsBusinessSkinForm(this);
    bsBusinessSkinForm1->setObjectName(QStringLiteral("bsBusinessSkinForm1"));
    // A fixed-size dialog never goes to the tray, nor grows.
    bsBusinessSkinForm1->HideTrayButtonWithoutTray = true;
    TbsCaptionBar* bar = bsBusinessSkinForm1->CaptionBar();
    bar->MinimizeButton->hide();
    bar->MaximizeButton->hide();
    bar->TrayButton->hide();

    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientPanel"));
    ClientArea->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QVBoxLayout(this);
    // No margin: children cover the whole dialog, so its edges never offer resizing.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(bar);
    layout->addWidget(ClientArea);
    SetClientSize(clientWidth, clientHeight);

    Messages = new TbsSkinMessage(this);

    auHTTP1 = new TauHTTP(this);
    auHTTP1->UseCache = false;
    auHTTP1->UseCookies = false;
    auHTTP1->WaitTimeout = 30000;
    auHTTP1->OnDone = [this](QObject* s, const QString& type, int size, QIODevice* stream) {
        auHTTP1Done(s, type, size, stream);
    };
    auHTTP1->OnHTTPError = [this](QObject* s, int code, QIODevice* stream) {
        auHTTP1HTTPError(s, code, stream);
    };
    auHTTP1->OnConnLost = [this](QObject* s, const QString& type, int size, int read,
                                 QIODevice* stream) {
        auHTTP1ConnLost(s, type, size, read, stream);
    };
    auHTTP1->OnHostUnreachable = [this](QObject* s) { auHTTP1HostUnreachable(s); };
    auHTTP1->OnWaitTimeoutExpired = [this](QObject* s) { auHTTP1WaitTimeoutExpired(s); };
}

TSkinnedDialog::~TSkinnedDialog() {
    // The handlers belong to the derived dialog, which is gone by now.
    auHTTP1->OnDone = nullptr;
    auHTTP1->OnHTTPError = nullptr;
    auHTTP1->OnConnLost = nullptr;
    auHTTP1->OnHostUnreachable = nullptr;
    auHTTP1->OnWaitTimeoutExpired = nullptr;
}

void TSkinnedDialog::SetClientSize(int width, int height) {
    ClientArea->setFixedSize(width, height);
}

void TSkinnedDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow(this);
}

int TSkinnedDialog::Message(const QString& text, quint8 kind, quint16 buttons) {
    return Messages->ShowSkinMessage(text, kind, buttons, 0);
}

QPushButton* TSkinnedDialog::AddButton(const QRect& geometry, const QString& caption) {
    auto* button = new QPushButton(caption, ClientArea);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

int TSkinnedDialog::Message(const QString& text, quint8 kind) {
    return Message(text, kind, TbsSkinMessage::mbOK);
}
