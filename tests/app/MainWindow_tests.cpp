#include "TempHome.h"
#include "app/Main.h"
#include "base/Settings.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/SkinMessage.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SetErrorBoxHook([this](const QString& text) { errors.append(text); });
        TbsSkinMessage::SetAnswerer([this](const QString& text, int, int) {
            messages.append(text);
            return 1;
        });
    }
    void TearDown() override {
        form.reset();
        SetErrorBoxHook(nullptr);
        TbsSkinMessage::SetAnswerer(nullptr);
        qApp->setStyleSheet(QString());
    }

    static void Store(const QString& name, int value) {
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->WriteInteger(name, value));
    }
    static void StoreString(const QString& name, const QString& value) {
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->WriteString(name, value));
    }
    TForm1& Create() {
        form = std::make_unique<TForm1>();
        return *form;
    }
    QString CacheDir() const { return home.dataDir() + QStringLiteral("/quilltts"); }

    TempHome home;
    std::unique_ptr<TForm1> form;
    QStringList errors;
    QStringList messages;
};

TEST_F(MainWindow, FirstRunUsesTheDefaultsAndSavesThemOnClose) {
    ASSERT_FALSE(QFile::exists(SettingsKey::FilePath()));
    TForm1& f = Create();
    EXPECT_EQ(f.SourceComboBox->currentIndex(), 0);
    EXPECT_EQ(f.SourceComboBox->currentText(), QStringLiteral("自动检测"));
    EXPECT_EQ(f.TargetComboBox->currentIndex(), 2);
    EXPECT_EQ(f.TargetComboBox->currentText(), QStringLiteral("英语"));
    EXPECT_TRUE(f.N6->isChecked());
    EXPECT_TRUE(f.OCRServerID1->isChecked());
    EXPECT_EQ(f.bsSkinData1->CompressedStoredSkin(), f.bsCompressedStoredSkin1);
    EXPECT_TRUE(QFileInfo(CacheDir()).isDir());
    EXPECT_TRUE(errors.isEmpty());

    f.SourceComboBox->setCurrentIndex(4);
    f.TargetComboBox->setCurrentIndex(7);
    f.close();
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger(QStringLiteral("SourceLanguage")), 4);
    EXPECT_EQ(key->ReadInteger(QStringLiteral("TargetLanguage")), 7);
    EXPECT_EQ(key->ReadInteger(QStringLiteral("OCRServer")), 1);
    EXPECT_EQ(key->ReadInteger(QStringLiteral("OCRLanguage")), 0);
    EXPECT_EQ(key->ReadString(QStringLiteral("OCRPath")), QString());
    EXPECT_FALSE(key->ValueExists(QStringLiteral("Face")));
}

TEST_F(MainWindow, StoredEngineNumberChoosesTheMenuItemAndIsSavedBack) {
    const struct {
        int stored;
        bool engineOne;
    } table[] = {{1, true}, {2, false}, {0, false}, {3, false}, {-7, false}};
    for (const auto& row : table) {
        TempHome fresh;
        Store(QStringLiteral("ocr"), row.stored); // names compare without case
        TForm1 f;
        EXPECT_EQ(f.OCRServerID1->isChecked(), row.engineOne) << row.stored;
        EXPECT_EQ(f.OCRServerID2->isChecked(), !row.engineOne) << row.stored;
        f.close();
        EXPECT_EQ(SettingsKey::Open()->ReadInteger(QStringLiteral("OCRServer")), row.stored);
    }
}

TEST_F(MainWindow, StoredFaceChoosesTheSkin) {
    const struct {
        int face;
        int skin; // 1..3
    } table[] = {{1, 1}, {2, 2}, {3, 3}, {4, 1}, {0, 1}, {-1, 1}};
    for (const auto& row : table) {
        TempHome fresh;
        Store(QStringLiteral("Face"), row.face);
        const int unpacked = TbsSkinData::DecompressCount();
        TForm1 f;
        QAction* items[] = {f.N6, f.N7, f.N8};
        TbsCompressedStoredSkin* skins[] = {f.bsCompressedStoredSkin1, f.bsCompressedStoredSkin2,
                                            f.bsCompressedStoredSkin3};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(items[i]->isChecked(), i == row.skin - 1) << row.face;
        // Start-up unpacks the active skin only.
        EXPECT_EQ(TbsSkinData::DecompressCount() - unpacked, 1) << row.face;
        EXPECT_EQ(f.bsSkinData1->CompressedStoredSkin(), skins[row.skin - 1]);
        EXPECT_EQ(qApp->styleSheet(), skins[row.skin - 1]->StyleSheet());
        qApp->setStyleSheet(QString());
    }
}

TEST_F(MainWindow, StoredListPositions) {
    const struct {
        const char* name;
        int stored;
        int index;
        const char* shown;
    } table[] = {
        {"SourceLanguage", 0, 0, "自动检测"},       {"SourceLanguage", 3, 3, "英语"},
        {"SourceLanguage", 66, 66, "越南语"},       {"SourceLanguage", 67, -1, "自动检测语言"},
        {"SourceLanguage", -1, -1, "自动检测语言"}, {"TargetLanguage", 0, 0, "简体中文"},
        {"TargetLanguage", 65, 65, "越南语"},       {"TargetLanguage", 66, -1, "英语"},
        {"TargetLanguage", -2, -1, "英语"},
    };
    for (const auto& row : table) {
        TempHome fresh;
        Store(QString::fromLatin1(row.name), row.stored);
        TForm1 f;
        TbsSkinComboBox* box = row.name[0] == 'S' ? f.SourceComboBox : f.TargetComboBox;
        EXPECT_EQ(box->currentIndex(), row.index) << row.name << row.stored;
        const QString shown =
            box->currentIndex() >= 0 ? box->currentText() : box->placeholderText();
        EXPECT_EQ(shown, QString::fromUtf8(row.shown)) << row.name << row.stored;
        f.close();
        // No selection is saved as -1.
        EXPECT_EQ(SettingsKey::Open()->ReadInteger(QString::fromLatin1(row.name)), row.index);
    }
}

TEST_F(MainWindow, WrongValueTypeStopsTheRestOfStartUp) {
    Store(QStringLiteral("SourceLanguage"), 5);
    StoreString(QStringLiteral("TargetLanguage"), QStringLiteral("7"));
    Store(QStringLiteral("OCR"), 2);
    Store(QStringLiteral("Face"), 3);
    TForm1& f = Create();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.first(), QStringLiteral("Invalid data type for 'TargetLanguage'"));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(f.SourceComboBox->currentIndex(), 5); // read before the fault
    EXPECT_EQ(f.TargetComboBox->currentIndex(), 2); // design state
    EXPECT_TRUE(f.OCRServerID1->isChecked());
    EXPECT_TRUE(f.N6->isChecked());
    EXPECT_FALSE(QFileInfo::exists(CacheDir()));
    // The window still opens.
    f.show();
    EXPECT_TRUE(f.isVisible());
    // The engine was never read: closing writes back none.
    f.close();
    EXPECT_EQ(SettingsKey::Open()->ReadInteger(QStringLiteral("OCRServer")), 0);
}

TEST_F(MainWindow, UnreadableSettingsKeepTheDesignStateAndAreNeverOverwritten) {
    const QString path = SettingsKey::FilePath();
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a settings file\n\"Face\"=dword:00000003\n");
    file.close();

    TForm1& f = Create();
    EXPECT_EQ(f.SourceComboBox->currentIndex(), -1);
    EXPECT_EQ(f.SourceComboBox->placeholderText(), QStringLiteral("自动检测语言"));
    EXPECT_EQ(f.TargetComboBox->currentIndex(), 2);
    EXPECT_TRUE(f.N6->isChecked());
    EXPECT_TRUE(QFileInfo(CacheDir()).isDir());
    EXPECT_TRUE(errors.isEmpty());
    f.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("this is not a settings file\n\"Face\"=dword:00000003\n"));
}

TEST_F(MainWindow, CloseEmptiesTheSpeechCacheOfMp3Files) {
    QDir().mkpath(CacheDir() + QStringLiteral("/sub"));
    for (const char* name : {"a.mp3", "b.MP3", "c.txt", "sub/d.mp3"}) {
        QFile file(CacheDir() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QFile::setPermissions(CacheDir() + QStringLiteral("/c.txt"), QFile::ReadOwner);
    TForm1& f = Create();
    f.close();
    QDir cache(CacheDir());
    EXPECT_EQ(cache.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
              (QStringList{QStringLiteral("c.txt"), QStringLiteral("sub")}));
    EXPECT_TRUE(QDir(CacheDir() + QStringLiteral("/sub")).isEmpty());
    EXPECT_TRUE(QFileInfo(CacheDir() + QStringLiteral("/c.txt")).isWritable());
    // Settings are saved after the clean-up.
    EXPECT_TRUE(SettingsKey::Open()->ValueExists(QStringLiteral("OCRPath")));
}

TEST_F(MainWindow, ControlsBandsAndCaptions) {
    TForm1& f = Create();
    f.show();
    EXPECT_EQ(f.windowTitle(), QStringLiteral(" Q u i l l m a t e"));
    EXPECT_EQ(f.ClientPanel->size(), QSize(797, 454));
    EXPECT_EQ(f.HeaderPanel->height(), 60);
    EXPECT_EQ(f.TntMemo1->parentWidget()->height(), 147);
    EXPECT_EQ(f.TargetHeaderPanel->height(), 46);
    EXPECT_EQ(f.ButtonPanel->height(), 62);
    const struct {
        QPushButton* button;
        const char* caption;
        int w, h;
    } buttons[] = {
        {f.bsSkinButton1, "清空文本", 80, 25},     {f.bsSkinButton2, "复制译文", 80, 25},
        {f.bsSkinButton3, "智能升级", 80, 25},     {f.bsSkinButton4, "联系我们", 80, 25},
        {f.bsSkinButton5, "使用帮助", 80, 25},     {f.bsSkinButton8, "图片文字识别", 105, 25},
        {f.bsSkinButton7, "开 始 翻 译", 108, 27},
    };
    int left = -1;
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
        EXPECT_EQ(b.button->size(), QSize(b.w, b.h)) << b.caption;
        EXPECT_GT(b.button->x(), left) << b.caption; // left to right in this order
        left = b.button->x();
    }
    EXPECT_TRUE(f.bsSkinButton7->isDefault());
    EXPECT_EQ(f.TntLabel1->text(), QStringLiteral("译文显示框："));
    EXPECT_EQ(f.TntLabel2->text(), QStringLiteral("原文输入框："));
    EXPECT_EQ(f.TntLabel3->text(), QStringLiteral("译文语言："));
    EXPECT_EQ(f.TntLabel4->text(), QStringLiteral("原文语言："));
    EXPECT_EQ(f.SourceComboBox->count(), 67);
    EXPECT_EQ(f.TargetComboBox->count(), 66);
    for (TbsSkinComboBox* box : {f.SourceComboBox, f.TargetComboBox}) {
        EXPECT_EQ(box->maxVisibleItems(), 9);
        EXPECT_EQ(box->ListBoxCaption(), QStringLiteral("自动检测"));
    }
    EXPECT_EQ(f.Image1->size(), QSize(32, 32));
    EXPECT_EQ(f.Image1->cursor().shape(), Qt::PointingHandCursor);
    for (TUnicodeMemo* memo : {f.TntMemo1, f.TntMemo2}) {
        EXPECT_EQ(memo->font().family(), QStringLiteral("宋体"));
        EXPECT_EQ(memo->font().pixelSize(), 14);
        EXPECT_EQ(memo->MaxLength(), 2000);
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    EXPECT_EQ(f.TntMemo1->x(), 12);
    EXPECT_EQ(f.TntMemo1->parentWidget()->width() - f.TntMemo1->geometry().right() - 1, 12);
    EXPECT_FALSE(f.TntMemo1->isReadOnly());
    EXPECT_TRUE(f.TntMemo2->isReadOnly());
    EXPECT_EQ(f.TntMemo1->toolTip(), QStringLiteral("输入框"));
    EXPECT_EQ(qApp->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 8000);
    EXPECT_EQ(f.bsTrayIcon1->Hint(), QStringLiteral("Quillmate"));
    EXPECT_FALSE(f.bsTrayIcon1->IsVisible());
    // The caption shows the icon before the window system is given it.
    EXPECT_FALSE(f.bsBusinessSkinForm1->CaptionBar()->IconLabel->pixmap().isNull());
    // FormShow puts the focus into the source box.
    EXPECT_EQ(f.focusWidget(), f.TntMemo1);
}

TEST_F(MainWindow, LanguageListsOpenWithNineRowsUnderTheirCaption) {
    TForm1& f = Create();
    f.show();
    for (TbsSkinComboBox* box : {f.SourceComboBox, f.TargetComboBox}) {
        box->showPopup();
        QAbstractItemView* view = box->view();
        const int row = view->sizeHintForRow(0);
        ASSERT_GT(row, 0);
        const int rows = view->viewport()->height() / row;
        EXPECT_GE(rows, 8);
        EXPECT_LE(rows, 9);
        auto* caption = view->parentWidget()->findChild<QLabel*>(QStringLiteral("ListBoxCaption"));
        ASSERT_NE(caption, nullptr);
        EXPECT_LT(caption->height(), 2 * row);
        box->hidePopup();
    }
}

TEST_F(MainWindow, SourceBoxLimitsTypingAndPastingButNotTheProgram) {
    TForm1& f = Create();
    f.show();
    f.TntMemo1->setPlainText(QString(1998, QLatin1Char('a')));
    f.TntMemo1->moveCursor(QTextCursor::End);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("中文字"));
    QApplication::sendEvent(f.TntMemo1, &commit);
    EXPECT_EQ(f.TntMemo1->toPlainText().size(), 2000);
    EXPECT_TRUE(f.TntMemo1->toPlainText().endsWith(QStringLiteral("中文")));
    QApplication::clipboard()->setText(QStringLiteral("more"));
    f.TntMemo1->paste();
    EXPECT_EQ(f.TntMemo1->toPlainText().size(), 2000);
    const QString recognised(3000, QLatin1Char('z'));
    f.TntMemo1->setPlainText(recognised);
    f.TntMemo2->setPlainText(recognised);
    EXPECT_EQ(f.TntMemo1->toPlainText(), recognised);
    EXPECT_EQ(f.TntMemo2->toPlainText(), recognised);
}

TEST_F(MainWindow, ControlsKeepTheirAccessibleRoles) {
    TForm1& f = Create();
    f.show();
    const struct {
        QWidget* widget;
        QAccessible::Role role;
        const char* name; // empty: not checked
    } table[] = {
        {f.bsSkinButton7, QAccessible::Button, "开 始 翻 译"},
        {f.bsSkinButton1, QAccessible::Button, "清空文本"},
        {f.Image1, QAccessible::Button, "朗读原文"},
        {f.Image2, QAccessible::Button, "朗读译文"},
        {f.TntMemo1, QAccessible::EditableText, "原文输入框"},
        {f.TntMemo2, QAccessible::EditableText, "译文显示框"},
        {f.SourceComboBox, QAccessible::ComboBox, ""},
        {f.TntLabel4, QAccessible::StaticText, "原文语言："},
        {f.bsBusinessSkinForm1->CaptionBar()->CloseButton, QAccessible::Button, "关闭"},
    };
    for (const auto& row : table) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(row.widget);
        ASSERT_NE(face, nullptr) << row.name;
        EXPECT_EQ(face->role(), row.role) << row.name;
        if (row.name[0] != '\0') {
            EXPECT_EQ(face->text(QAccessible::Name), QString::fromUtf8(row.name));
        }
    }
}

TEST_F(MainWindow, PopupMenuItemsTagsAndRadioGroups) {
    TForm1& f = Create();
    const struct {
        QAction* item;
        const char* caption; // empty: separator
        int tag;
        QAction* groupMate; // another item of its radio group, or null
        bool checked;
    } table[] = {
        {f.N1, "联系我们", 0, nullptr, false},
        {f.N5, "", 0, nullptr, false},
        {f.N6, "软件界面（一）", 1, f.N7, true},
        {f.N7, "软件界面（二）", 2, f.N8, false},
        {f.N8, "软件界面（三）", 3, f.N6, false},
        {f.N9, "", 0, nullptr, false},
        {f.OCRServerID1, "图片文字识别引擎（一）", 1, f.OCRServerID2, true},
        {f.OCRServerID2, "图片文字识别引擎（二）", 2, f.OCRServerID1, false},
        {f.N2, "", 0, nullptr, false},
        {f.N10, "添加桌面快捷图标", 0, nullptr, false},
    };
    const QList<QAction*> actions = f.bsSkinPopupMenu2->actions();
    ASSERT_EQ(actions.size(), 10);
    for (int i = 0; i < 10; ++i) {
        const auto& row = table[i];
        EXPECT_EQ(actions[i], row.item) << i;
        EXPECT_EQ(row.item->isSeparator(), row.caption[0] == '\0') << i;
        if (!row.item->isSeparator()) {
            EXPECT_EQ(row.item->text(), QString::fromUtf8(row.caption));
        }
        EXPECT_EQ(TForm1::Tag(row.item), row.tag) << i;
        EXPECT_EQ(row.item->isChecked(), row.checked) << i;
        EXPECT_EQ(row.item->actionGroup() != nullptr, row.groupMate != nullptr) << i;
        if (row.groupMate) {
            EXPECT_EQ(row.item->actionGroup(), row.groupMate->actionGroup());
        }
    }
    EXPECT_NE(f.N6->actionGroup(), f.OCRServerID1->actionGroup());
    // Checking one item of a group unchecks the others, and only in that group.
    f.N8->setChecked(true);
    f.OCRServerID2->setChecked(true);
    EXPECT_FALSE(f.N6->isChecked());
    EXPECT_TRUE(f.N8->isChecked());
    EXPECT_FALSE(f.OCRServerID1->isChecked());
}

TEST_F(MainWindow, RightClickOnTheThreeBandsOpensThePopupMenu) {
    TForm1& f = Create();
    f.show();
    const struct {
        QWidget* target;
        bool opens;
    } table[] = {{f.HeaderPanel, true}, {f.TargetHeaderPanel, true}, {f.ButtonPanel, true},
                 {f.TntLabel2, true},   {f.bsSkinButton3, true},     {f.TntMemo1, false}};
    for (const auto& row : table) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2),
                                row.target->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(row.target, &event);
        EXPECT_EQ(f.bsSkinPopupMenu2->isVisible(), row.opens)
            << row.target->objectName().toStdString();
        f.bsSkinPopupMenu2->hide();
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }
}

TEST_F(MainWindow, CannotBeMadeSmallerThanTheMinimum) {
    TForm1& f = Create();
    f.show();
    EXPECT_EQ(f.minimumSize(), QSize(797, 454));
    EXPECT_GE(f.width(), 797);
    const QSize sizes[] = {{100, 100}, {796, 900}, {1000, 453}, {797, 454}};
    for (const QSize& size : sizes) {
        f.resize(size);
        EXPECT_GE(f.width(), 797);
        EXPECT_GE(f.height(), 454);
    }
}

TEST_F(MainWindow, RestoreFromTrayFocusesTheSourceBoxOnlyAtTheOrigin) {
    const struct {
        QPoint at;
        bool toSource;
    } table[] = {{{0, 0}, true}, {{0, 5}, false}, {{40, 0}, false}, {{120, 80}, false}};
    for (const auto& row : table) {
        TForm1 f;
        f.bsBusinessSkinForm1->TrayAvailable = [] { return true; };
        f.show();
        f.move(row.at);
        f.bsSkinButton3->setFocus();
        ASSERT_EQ(f.focusWidget(), f.bsSkinButton3);
        f.bsBusinessSkinForm1->CaptionBar()->TrayButton->click();
        ASSERT_FALSE(f.isVisible());
        ASSERT_TRUE(f.bsTrayIcon1->IsVisible());

        f.bsTrayIcon1->Activate();
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.pos(), row.at);
        EXPECT_EQ(f.focusWidget() == f.TntMemo1, row.toSource) << row.at.x() << "," << row.at.y();
        EXPECT_EQ(f.focusWidget() == f.bsSkinButton3, !row.toSource);
        qApp->setStyleSheet(QString());
    }
}

TEST_F(MainWindow, TrayButtonWithoutATrayMinimisesInstead) {
    TForm1& f = Create();
    f.bsBusinessSkinForm1->TrayAvailable = [] { return false; };
    f.show();
    f.bsBusinessSkinForm1->CaptionBar()->TrayButton->click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(f.isMinimized());
    EXPECT_FALSE(f.bsTrayIcon1->IsVisible());
}

TEST_F(MainWindow, EnterOutsideTheTextBoxesPressesTheDefaultButton) {
    TForm1& f = Create();
    f.show();
    QSignalSpy clicked(f.bsSkinButton7, &QPushButton::clicked);
    f.TargetComboBox->setFocus();
    QTest::keyClick(f.TargetComboBox, Qt::Key_Return);
    EXPECT_EQ(clicked.count(), 1);
    f.bsSkinButton7->setEnabled(false);
    QTest::keyClick(f.TargetComboBox, Qt::Key_Return);
    EXPECT_EQ(clicked.count(), 1);
}

} // namespace
