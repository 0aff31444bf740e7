#include "toolkit/SkinMessageDialog.h"

#include "toolkit/SkinMessage.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {

struct ButtonInfo {
    int bit;
    int result;
    const char* caption;
};

// In the order the box lays them out.
const ButtonInfo kButtons[] = {
    {TbsSkinMessage::mbYes, TbsSkinMessage::mrYes, "是"},
    {TbsSkinMessage::mbNo, TbsSkinMessage::mrNo, "否"},
    {TbsSkinMessage::mbOK, TbsSkinMessage::mrOk, "确定"},
    {TbsSkinMessage::mbCancel, TbsSkinMessage::mrCancel, "取消"},
    {TbsSkinMessage::mbAbort, TbsSkinMessage::mrAbort, "中止"},
    {TbsSkinMessage::mbRetry, TbsSkinMessage::mrRetry, "重试"},
    {TbsSkinMessage::mbIgnore, TbsSkinMessage::mrIgnore, "忽略"},
    {TbsSkinMessage::mbAll, TbsSkinMessage::mrAll, "全部"},
    {TbsSkinMessage::mbNoToAll, TbsSkinMessage::mrNoToAll, "全否"},
    {TbsSkinMessage::mbYesToAll, TbsSkinMessage::mrYesToAll, "全是"},
    {TbsSkinMessage::mbHelp, 0, "帮助"},
};

QStyle::StandardPixmap KindIcon(int kind, bool* has) {
    *has = true;
    switch (kind) {
    case TbsSkinMessage::mtWarning:
        return QStyle::SP_MessageBoxWarning;
    case TbsSkinMessage::mtError:
        return QStyle::SP_MessageBoxCritical;
    case TbsSkinMessage::mtInformation:
        return QStyle::SP_MessageBoxInformation;
    case TbsSkinMessage::mtConfirmation:
        return QStyle::SP_MessageBoxQuestion;
    default:
        *has = false;
        return QStyle::SP_MessageBoxInformation;
    }
}

} // namespace

QString TbsSkinMessageDialog::KindCaption(int kind) {
    switch (kind) {
    case TbsSkinMessage::mtWarning:
        return QStringLiteral("警告");
    case TbsSkinMessage::mtError:
        return QStringLiteral("错误");
    case TbsSkinMessage::mtInformation:
        return QStringLiteral("信息");
    case TbsSkinMessage::mtConfirmation:
        return QStringLiteral("确认");
    default:
        return QCoreApplication::applicationName();
    }
}

QList<int> TbsSkinMessageDialog::ButtonResults(int buttons) {
    QList<int> results;
    for (const ButtonInfo& info : kButtons)
        if (buttons & info.bit)
            results.append(info.result);
    return results;
}

int TbsSkinMessageDialog::DefaultResult(int buttons) {
    if (buttons & TbsSkinMessage::mbOK)
        return TbsSkinMessage::mrOk;
    if (buttons & TbsSkinMessage::mbYes)
        return TbsSkinMessage::mrYes;
    return 0;
}

int TbsSkinMessageDialog::EscapeResult(int buttons) {
    if (buttons & TbsSkinMessage::mbCancel)
        return TbsSkinMessage::mrCancel;
    if (buttons & TbsSkinMessage::mbNo)
        return TbsSkinMessage::mrNo;
    if (buttons & TbsSkinMessage::mbOK)
        return TbsSkinMessage::mrOk;
    return 0;
}

QString TbsSkinMessageDialog::ButtonCaption(int result) {
    for (const ButtonInfo& info : kButtons)
        if (info.result == result)
            return QString::fromUtf8(info.caption);
    return {};
}

TbsSkinMessageDialog::TbsSkinMessageDialog(const QString& text, int kind, int buttons,
                                           QWidget* parent)
    : QDialog(parent), escapeResult_(EscapeResult(buttons)) {
    setObjectName(QStringLiteral("bsSkinMessageDialog"));
    setWindowTitle(KindCaption(kind));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    auto* body = new QHBoxLayout;
    body->setSpacing(14);
    bool hasIcon = false;
    const QStyle::StandardPixmap icon = KindIcon(kind, &hasIcon);
    if (hasIcon) {
        auto* iconLabel = new QLabel(this);
        iconLabel->setObjectName(QStringLiteral("bsSkinMessageIcon"));
        const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        iconLabel->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(side, side));
        iconLabel->setAlignment(Qt::AlignTop);
        body->addWidget(iconLabel, 0, Qt::AlignTop);
    }
    auto* textLabel = new QLabel(text, this);
    textLabel->setObjectName(QStringLiteral("bsSkinMessageText"));
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setWordWrap(true);
    textLabel->setMinimumWidth(220);
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    body->addWidget(textLabel, 1);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    const int defaultResult = DefaultResult(buttons);
    for (const ButtonInfo& info : kButtons) {
        if (!(buttons & info.bit))
            continue;
        auto* button = new QPushButton(QString::fromUtf8(info.caption), this);
        button->setProperty("skinResult", info.result);
        button->setMinimumWidth(75);
        button->setAutoDefault(false);
        if (info.result != 0 && info.result == defaultResult)
            button->setDefault(true);
        const int result = info.result;
        // Help has no help file to open and leaves the box up.
        if (result != 0)
            connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        row->addWidget(button);
        buttons_.append(button);
    }
    row->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->setSpacing(16);
    layout->addLayout(body);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (QPushButton* def = ButtonFor(defaultResult))
        def->setFocus();
    else if (!buttons_.isEmpty())
        buttons_.first()->setFocus();
}

QPushButton* TbsSkinMessageDialog::ButtonFor(int result) const {
    if (result == 0)
        return nullptr;
    for (QPushButton* button : buttons_)
        if (button->property("skinResult").toInt() == result)
            return button;
    return nullptr;
}

void TbsSkinMessageDialog::reject() {
    // Escape answers with its button; without one it does nothing. Closing the
    // box from its frame counts as Cancel.
    if (escapeResult_ != 0)
        done(escapeResult_);
}

int TbsSkinMessageDialog::Execute() {
    adjustSize();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (QWidget* active = QApplication::activeWindow())
        screen = active->screen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    const int result = exec();
    return result == QDialog::Rejected ? int(TbsSkinMessage::mrCancel) : result;
}
