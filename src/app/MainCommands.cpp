#include "app/Main.h"
#include "base/Paths.h"
#include "base/Preferences.h"
#include "desktop/DesktopLauncher.h"
#include "feedback/SendUserInfo.h"
#include "toolkit/AppIcon.h"
#include "toolkit/CursorTable.h"
#include "toolkit/ErrorBox.h"
#include "update/UpdateForm.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QScrollBar>
#include <QTextCursor>
#include <exception>
#include <memory>

namespace {

void ShowErrorOf(QWidget* parent, const std::exception& error) {
    ShowErrorBox(parent, QString::fromUtf8(error.what()));
}

} // namespace

QStringList TForm1::HelpText() {
    return {
        QStringLiteral("◤软件介绍◥"),
        QStringLiteral(""),
        QStringLiteral("    "
                       "Quillmate是一款拥有全球超强的翻译工具，她支持OCR图片文字识别等功能。她界面"
                       "简单直观，使用方便快捷"),
        QStringLiteral(""),
        QStringLiteral("功能强大，定会让您在使用过程中更有效率，体验更佳。"),
        QStringLiteral(""),
        QStringLiteral("      ◆ 支持67个不同国家的语言互译；"),
        QStringLiteral(""),
        QStringLiteral("      ◆ 支持OCR图片文字识别；"),
        QStringLiteral(""),
        QStringLiteral("      ◆ 支持各语种的字体编码，使您不用担心翻译成乱码；"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("◤使用方法◥"),
        QStringLiteral(""),
        QStringLiteral("    [翻译] 功能："),
        QStringLiteral(""),
        QStringLiteral(
            "         "
            "在“原文输入框”输入需要翻译的文字，然后选择“译文语言”的语种，再单击“开始翻译”即可。"),
        QStringLiteral(""),
        QStringLiteral("         翻译快捷键：Ctrl+Enter 或 Shift+Enter"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("    [图片文字识别] 功能："),
        QStringLiteral(""),
        QStringLiteral("     \u3000\u3000本功能是利用OCR（Optical Character Recognition "
                       "光学字符识别）技术，将图片、照片上的文字内容，直接"),
        QStringLiteral(""),
        QStringLiteral("     "
                       "转换为可编辑文本。单击主界面【图片文字识别】将弹出截屏窗口，裁剪到最佳位置"
                       "后，单击【完成】即可在原文输"),
        QStringLiteral(""),
        QStringLiteral("     入框显示识别的文字，OCR识别后，需要进行校正核查。"),
        QStringLiteral(""),
        QStringLiteral("     注：  图片文字识别引擎（一）   可以自动识别图片文字的语言。"),
        QStringLiteral(""),
        QStringLiteral("     \u3000  \u3000图片文字识别引擎（二）   "
                       "需在【原文语言】列表框选择图片文字的语言。"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("◤使用声明◥"),
        QStringLiteral(""),
        QStringLiteral(
            "    "
            "此软件为工具软件，对他人或第三方造成的任何损失，由使用者本人承担，与软件作者无关。"),
        QStringLiteral(""),
        QStringLiteral(""),
        QStringLiteral("◤联系方式◥"),
        QStringLiteral(""),
        QStringLiteral(
            "    "
            "如果您在使用中有什么问题，可以单击“联系我们”按钮进行提交信息给我们，我们将予以回复。"),
    };
}

void TForm1::bsSkinButton1Click(QObject*) {
    TntMemo1->setFocus(Qt::OtherFocusReason);
    TntMemo1->clear();
    TntMemo2->clear();
    EngineLabel->clear();
}

void TForm1::bsSkinButton2Click(QObject*) {
    if (!TntMemo2->document()->isEmpty()) {
        TntMemo2->selectAll();
        TntMemo2->copy();
    }
    TntMemo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::bsSkinButton3Click(QObject*) {
    try {
        auto form = std::make_unique<TUpdateForm>(this);
        form->SetClientSize(378, 143);
        SetControlCursor(form->bsSkinButton1, crAnimatedArrow);
        SetControlCursor(form->bsSkinButton2, crAnimatedArrow);
        form->Messages = bsSkinMessage1;
        form->exec();
    } catch (const std::exception& error) {
        TntMemo1->setFocus(Qt::OtherFocusReason);
        ShowErrorOf(this, error);
        return;
    }
    TntMemo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::bsSkinButton4Click(QObject*) {
    try {
        auto form = std::make_unique<TSendUserInfo>(this);
        form->SetClientSize(501, 268);
        form->Messages = bsSkinMessage1;
        form->exec();
    } catch (const std::exception& error) {
        SetScreenCursor(crDefault);
        TntMemo1->setFocus(Qt::OtherFocusReason);
        ShowErrorOf(this, error);
        return;
    }
    SetScreenCursor(crDefault);
    TntMemo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::bsSkinButton5Click(QObject*) {
    TntMemo2->clear();
    EngineLabel->clear();
    for (const QString& line : HelpText())
        TntMemo2->appendPlainText(line);
    // Appending scrolls to the end; bring the first line back into view.
    TntMemo2->moveCursor(QTextCursor::Start);
    TntMemo2->verticalScrollBar()->setValue(TntMemo2->verticalScrollBar()->minimum());
}

void TForm1::N2Click(QObject*) {
    const int s = SourceComboBox->currentIndex();
    const int t = TargetComboBox->currentIndex();
    // The source list has automatic detection in front, hence the shift by one.
    SourceComboBox->SetItemIndex(t + 1);
    TargetComboBox->SetItemIndex(s == 0 ? 0 : s - 1);
}

void TForm1::N6Click(QObject* Sender) {
    try {
        auto* item = qobject_cast<QAction*>(Sender);
        if (!item)
            return;
        item->setChecked(true);
        const int tag = Tag(item);
        TbsCompressedStoredSkin* skins[] = {bsCompressedStoredSkin1, bsCompressedStoredSkin2,
                                            bsCompressedStoredSkin3};
        if (tag >= 1 && tag <= 3)
            bsSkinData1->SetCompressedStoredSkin(skins[tag - 1]);
        if (std::unique_ptr<Preferences> prefs = Preferences::Open())
            prefs->Write(pref::Face, tag);
    } catch (...) {
        // A skin that cannot be applied or stored is not worth a message.
    }
}

void TForm1::OCRServerID1Click(QObject* Sender) {
    auto* item = qobject_cast<QAction*>(Sender);
    if (!item)
        return;
    item->setChecked(true);
    std::unique_ptr<Preferences> prefs = Preferences::Open();
    if (prefs && !prefs->Write(pref::Ocr, Tag(item)))
        ShowErrorBox(
            this,
            QStringLiteral("Failed to set data for '%1'").arg(QLatin1String(pref::Ocr.writtenAs)));
}

void TForm1::N10Click(QObject*) {
    // A launcher names an icon file; ours is drawn in code, so a copy is kept.
    // Encoded in memory first: a full disk then fails our write, not the
    // image writer's (which leaks its copy of the image on a write error).
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!QuillmateIconPixmap(256).save(&buffer, "PNG"))
        png.clear();
    // A failed save stays silent.
    WriteDesktopLauncher(QCoreApplication::applicationFilePath(), png, LocalAppDataPath());
}

void TForm1::SourceComboBoxCloseUp(QObject*) {
    TntMemo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::TargetComboBoxCloseUp(QObject*) {
    TntMemo1->setFocus(Qt::OtherFocusReason);
}
