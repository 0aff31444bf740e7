#include "update/DialogFrame.h"

#include "toolkit/BusinessSkinForm.h"

#include <QDialog>
#include <QVBoxLayout>

TbsBusinessSkinForm* MakeSkinnedDialogFrame(QDialog* dialog, QWidget*& client) {
    auto* frame = new TbsBusinessSkinForm(dialog);
    frame->setObjectName(QStringLiteral("bsBusinessSkinForm1"));
    // A fixed-size dialog never goes to the tray, nor grows.
    frame->HideTrayButtonWithoutTray = true;
    TbsCaptionBar* bar = frame->CaptionBar();
    bar->MinimizeButton->hide();
    bar->MaximizeButton->hide();
    bar->TrayButton->hide();

    client = new QWidget(dialog);
    client->setObjectName(QStringLiteral("ClientPanel"));
    client->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QVBoxLayout(dialog);
    // No margin: children cover the whole dialog, so its edges never offer resizing.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(bar);
    layout->addWidget(client);
    return frame;
}
