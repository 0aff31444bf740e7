#include "toolkit/SkinMessage.h"

#include "toolkit/SkinMessageDialog.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace {
TbsSkinMessage::Answerer g_answerer;
}

TbsSkinMessage::TbsSkinMessage(QObject* owner) : QObject(owner) {}

void TbsSkinMessage::SetAnswerer(Answerer answerer) {
    g_answerer = std::move(answerer);
}

int TbsSkinMessage::ShowSkinMessage(const QString& text, quint8 kind, quint16 buttons, int) {
    if (g_answerer)
        return g_answerer(text, kind, buttons);
    QWidget* parent = qobject_cast<QWidget*>(this->parent());
    TbsSkinMessageDialog dialog(text, kind, buttons, parent ? parent->window() : nullptr);
    return dialog.Execute();
}
