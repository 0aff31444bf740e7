#include "app/Main.h"

#include "app/EmbeddedFiles.h"
#include "desktop/GlobalShortcuts.h"
#include "historywindow/HistoryForm.h"
#include "storage/FileStorage.h"
#include "toolkit/AppIcon.h"
#include "toolkit/HintStyle.h"
#include "translate/LanguageCatalog.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

const char* const kTagProperty = "quillTag";
constexpr int kMemoMaxLength = 2000;

QFont MemoFont() {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    return font;
}

QWidget* Band(QWidget* parent, const char* name, int height) {
    auto* band = new QWidget(parent);
    band->setObjectName(QLatin1String(name));
    band->setAttribute(Qt::WA_StyledBackground);
    if (height > 0)
        band->setFixedHeight(height);
    return band;
}

QPushButton* Button(const QString& caption, const char* name, int w, int h, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(w, h);
    return button;
}

// A language list: 66 names, nine rows open, a fixed width.
TbsSkinComboBox* LanguageList(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = new TbsSkinComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->addItems(items);
    box->setMaxVisibleItems(9);
    box->SetListBoxCaption(QStringLiteral("自动检测"));
    box->setFixedWidth(160);
    // The width is fixed, so the box need not measure every name for a width hint.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return box;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    // The style and the skin go on before the first control exists: either one
    // set later restyles every control built so far, which costs more than
    // building the window.
    SetApplicationHints(true, HintPauseMs);
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(QStringLiteral(" Q u i l l m a t e"));

    bsSkinData1 = new TbsSkinData(this);
    bsSkinData1->setObjectName(QStringLiteral("bsSkinData1"));
    bsCompressedStoredSkin1 = new TbsCompressedStoredSkin(0, this);
    bsCompressedStoredSkin2 = new TbsCompressedStoredSkin(1, this);
    bsCompressedStoredSkin3 = new TbsCompressedStoredSkin(2, this);
    TbsCompressedStoredSkin* const skins[] = {bsCompressedStoredSkin1, bsCompressedStoredSkin2,
                                              bsCompressedStoredSkin3};
    bsSkinData1->SetCompressedStoredSkin(skins[WindowSettings::StoredFace() - 1]);
    // Like a form being loaded: a skin chosen while the window is built is
    // applied once at the end, and only if it differs from the one above.
    bsSkinData1->BeginUpdate();

    // The stored files are decoded while the window is built, before FormCreate.
    FileStorage1 = new TFileStorage(this);
    FileStorage1->setObjectName(QStringLiteral("FileStorage1"));
    LoadEmbeddedFiles(FileStorage1);

    bsSkinMessage1 = new TbsSkinMessage(this);
    bsSkinMessage1->setObjectName(QStringLiteral("bsSkinMessage1"));

    bsTrayIcon1 = new TbsTrayIcon(this);
    bsTrayIcon1->setObjectName(QStringLiteral("bsTrayIcon1"));
    bsTrayIcon1->SetHint(QStringLiteral("Quillmate"));
    bsTrayIcon1->SetIcon(QuillmateIcon());

    bsBusinessSkinForm1 = new TbsBusinessSkinForm(this);
    bsBusinessSkinForm1->setObjectName(QStringLiteral("bsBusinessSkinForm1"));
    bsBusinessSkinForm1->SetTrayIcon(bsTrayIcon1);
    // The caption shows the icon at once; the window system gets it after the
    // first paint (PrepareDesktopReach), as sending it means drawing every size.
    bsBusinessSkinForm1->CaptionBar()->IconLabel->setPixmap(QuillmateIcon().pixmap(20, 20));

    BuildControls();
    BuildMenu();
    BuildCaptionMenu();
    WireEvents();

    // The whole window, frame included, never gets smaller than this.
    setMinimumSize(MinTrackWidth, MinTrackHeight);
    // Design size of the client area, plus the skin's caption bar and border.
    const int border = TbsBusinessSkinForm::BorderWidth;
    resize(ClientWidth + 2 * border,
           bsBusinessSkinForm1->CaptionBar()->height() + ClientHeight + border);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }

    BindTranslate();
    BindOcr();
    BindSpeech();
    BindHistory();

    FormCreate(this);
    bsSkinData1->EndUpdate();
}

// The shortcuts are given back with their owner. The history window goes
// before the recorder, which its worker may be waiting on.
TForm1::~TForm1() {
    delete historyWindow_;
}

int TForm1::Tag(const QAction* item) {
    return item ? item->property(kTagProperty).toInt() : 0;
}

void TForm1::BuildControls() {
    QWidget* client = bsBusinessSkinForm1->BuildFrame();
    ClientPanel = client;
    auto* bands = new QVBoxLayout(client);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);

    // 1. Header band.
    HeaderPanel = Band(client, "HeaderPanel", 60);
    Image1 = new TSpeakerImage(HeaderPanel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("朗读原文"));
    TntLabel2 = new TClickLabel(QStringLiteral("原文输入框："), HeaderPanel);
    TntLabel2->setObjectName(QStringLiteral("TntLabel2"));
    TntLabel4 = new TClickLabel(QStringLiteral("原文语言："), HeaderPanel);
    TntLabel4->setObjectName(QStringLiteral("TntLabel4"));
    SourceComboBox = LanguageList(HeaderPanel, "SourceComboBox", SourceLanguageItems());
    SourceComboBox->setPlaceholderText(QStringLiteral("自动检测语言"));
    SourceComboBox->setCurrentIndex(-1);
    TntLabel4->setBuddy(SourceComboBox);
    {
        auto* row = new QHBoxLayout(HeaderPanel);
        row->setContentsMargins(12, 14, 12, 6);
        row->setSpacing(6);
        row->addWidget(Image1, 0, Qt::AlignBottom);
        row->addWidget(TntLabel2, 0, Qt::AlignBottom);
        row->addStretch(1);
        row->addWidget(TntLabel4, 0, Qt::AlignBottom);
        row->addWidget(SourceComboBox, 0, Qt::AlignBottom);
    }
    bands->addWidget(HeaderPanel);

    // 2. Source band.
    auto* sourceBand = Band(client, "SourcePanel", 147);
    TntMemo1 = new TUnicodeMemo(sourceBand);
    TntMemo1->setObjectName(QStringLiteral("TntMemo1"));
    TntMemo1->SetMaxLength(kMemoMaxLength);
    TntMemo1->setFont(MemoFont());
    TntMemo1->setToolTip(QStringLiteral("输入框"));
    TntMemo1->setAccessibleName(QStringLiteral("原文输入框"));
    TntMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TntMemo1->setTabChangesFocus(true);
    {
        auto* box = new QVBoxLayout(sourceBand);
        box->setContentsMargins(12, 0, 12, 0);
        box->addWidget(TntMemo1);
    }
    bands->addWidget(sourceBand);

    // 3. Target area: its header band, then the translation box filling the rest.
    // The band is made inside the area: moved there later, the whole band and
    // its list would be restyled.
    auto* targetArea = Band(client, "TargetPanel", 0);
    TargetHeaderPanel = Band(targetArea, "TargetHeaderPanel", 46);
    Image2 = new TSpeakerImage(TargetHeaderPanel);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setAccessibleName(QStringLiteral("朗读译文"));
    TntLabel1 = new TClickLabel(QStringLiteral("译文显示框："), TargetHeaderPanel);
    TntLabel1->setObjectName(QStringLiteral("TntLabel1"));
    EngineLabel = new QLabel(TargetHeaderPanel);
    EngineLabel->setObjectName(QStringLiteral("EngineLabel"));
    EngineLabel->setAccessibleName(QStringLiteral("翻译引擎"));
    TntLabel3 = new TClickLabel(QStringLiteral("译文语言："), TargetHeaderPanel);
    TntLabel3->setObjectName(QStringLiteral("TntLabel3"));
    TargetComboBox = LanguageList(TargetHeaderPanel, "TargetComboBox", TargetLanguageItems());
    TargetComboBox->setCurrentIndex(2);
    TntLabel3->setBuddy(TargetComboBox);
    {
        auto* row = new QHBoxLayout(TargetHeaderPanel);
        row->setContentsMargins(12, 6, 12, 4);
        row->setSpacing(6);
        row->addWidget(Image2, 0, Qt::AlignVCenter);
        row->addWidget(TntLabel1, 0, Qt::AlignVCenter);
        row->addWidget(EngineLabel, 0, Qt::AlignVCenter);
        row->addStretch(1);
        row->addWidget(TntLabel3, 0, Qt::AlignVCenter);
        row->addWidget(TargetComboBox, 0, Qt::AlignVCenter);
    }
    TntMemo2 = new TUnicodeMemo(targetArea);
    TntMemo2->setObjectName(QStringLiteral("TntMemo2"));
    TntMemo2->SetMaxLength(kMemoMaxLength);
    TntMemo2->setReadOnly(true);
    TntMemo2->setFont(MemoFont());
    TntMemo2->setAccessibleName(QStringLiteral("译文显示框"));
    TntMemo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TntMemo2->setTabChangesFocus(true);
    {
        auto* box = new QVBoxLayout(targetArea);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
        box->addWidget(TargetHeaderPanel);
        auto* inset = new QHBoxLayout;
        inset->setContentsMargins(12, 0, 12, 0);
        inset->addWidget(TntMemo2);
        box->addLayout(inset, 1);
    }
    bands->addWidget(targetArea, 1);

    // 4. Button band.
    ButtonPanel = Band(client, "ButtonPanel", 62);
    bsSkinButton1 = Button(QStringLiteral("清空文本"), "bsSkinButton1", 80, 25, ButtonPanel);
    bsSkinButton2 = Button(QStringLiteral("复制译文"), "bsSkinButton2", 80, 25, ButtonPanel);
    bsSkinButton3 = Button(QStringLiteral("智能升级"), "bsSkinButton3", 80, 25, ButtonPanel);
    bsSkinButton4 = Button(QStringLiteral("联系我们"), "bsSkinButton4", 80, 25, ButtonPanel);
    bsSkinButton5 = Button(QStringLiteral("使用帮助"), "bsSkinButton5", 80, 25, ButtonPanel);
    bsSkinButton8 = Button(QStringLiteral("图片文字识别"), "bsSkinButton8", 105, 25, ButtonPanel);
    bsSkinButton7 = Button(QStringLiteral("开 始 翻 译"), "bsSkinButton7", 108, 27, ButtonPanel);
    bsSkinButton7->setDefault(true);
    {
        auto* row = new QHBoxLayout(ButtonPanel);
        row->setContentsMargins(12, 0, 12, 0);
        row->setSpacing(8);
        for (QPushButton* button : {bsSkinButton1, bsSkinButton2, bsSkinButton3, bsSkinButton4,
                                    bsSkinButton5, bsSkinButton8})
            row->addWidget(button, 0, Qt::AlignVCenter);
        row->addStretch(1);
        row->addWidget(bsSkinButton7, 0, Qt::AlignVCenter);
    }
    bands->addWidget(ButtonPanel);
}

void TForm1::BuildMenu() {
    bsSkinPopupMenu2 = new QMenu(this);
    bsSkinPopupMenu2->setObjectName(QStringLiteral("bsSkinPopupMenu2"));
    auto item = [this](const QString& caption, const char* name, int tag) {
        QAction* action = bsSkinPopupMenu2->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setProperty(kTagProperty, tag);
        return action;
    };
    auto separator = [this](const char* name) {
        QAction* action = bsSkinPopupMenu2->addSeparator();
        action->setObjectName(QLatin1String(name));
        return action;
    };
    N1 = item(QStringLiteral("联系我们"), "N1", 0);
    N5 = separator("N5");
    N6 = item(QStringLiteral("软件界面（一）"), "N6", 1);
    N7 = item(QStringLiteral("软件界面（二）"), "N7", 2);
    N8 = item(QStringLiteral("软件界面（三）"), "N8", 3);
    N9 = separator("N9");
    OCRServerID1 = item(QStringLiteral("图片文字识别引擎（一）"), "OCRServerID1", 1);
    OCRServerID2 = item(QStringLiteral("图片文字识别引擎（二）"), "OCRServerID2", 2);
    N2 = separator("N2");
    N10 = item(QStringLiteral("添加桌面快捷图标"), "N10", 0);

    auto* faces = new QActionGroup(this);
    faces->setExclusive(true);
    for (QAction* a : {N6, N7, N8}) {
        a->setCheckable(true);
        faces->addAction(a);
    }
    auto* engines = new QActionGroup(this);
    engines->setExclusive(true);
    for (QAction* a : {OCRServerID1, OCRServerID2}) {
        a->setCheckable(true);
        engines->addAction(a);
    }
    N6->setChecked(true);
    OCRServerID1->setChecked(true);
}

void TForm1::WireEvents() {
    auto click = [this](QPushButton* button, void (TForm1::*handler)(QObject*)) {
        connect(button, &QPushButton::clicked, this,
                [this, button, handler] { (this->*handler)(button); });
    };
    click(bsSkinButton1, &TForm1::bsSkinButton1Click);
    click(bsSkinButton2, &TForm1::bsSkinButton2Click);
    click(bsSkinButton3, &TForm1::bsSkinButton3Click);
    click(bsSkinButton4, &TForm1::bsSkinButton4Click);
    click(bsSkinButton5, &TForm1::bsSkinButton5Click);
    click(bsSkinButton7, &TForm1::bsSkinButton7Click);
    click(bsSkinButton8, &TForm1::bsSkinButton8Click);

    auto trigger = [this](QAction* action, void (TForm1::*handler)(QObject*)) {
        connect(action, &QAction::triggered, this,
                [this, action, handler] { (this->*handler)(action); });
    };
    trigger(N1, &TForm1::bsSkinButton4Click);
    trigger(N6, &TForm1::N6Click);
    trigger(N7, &TForm1::N6Click);
    trigger(N8, &TForm1::N6Click);
    trigger(OCRServerID1, &TForm1::OCRServerID1Click);
    trigger(OCRServerID2, &TForm1::OCRServerID1Click);
    trigger(N10, &TForm1::N10Click);

    connect(TntLabel3, &TClickLabel::doubleClicked, this, [this] { N2Click(TntLabel3); });
    connect(TntLabel4, &TClickLabel::doubleClicked, this, [this] { N2Click(TntLabel4); });
    connect(Image1, &QToolButton::clicked, this, [this] { Image1Click(Image1); });
    connect(Image2, &QToolButton::clicked, this, [this] { Image2Click(Image2); });
    connect(SourceComboBox, &TbsSkinComboBox::closeUp, this,
            [this] { SourceComboBoxCloseUp(SourceComboBox); });
    connect(TargetComboBox, &TbsSkinComboBox::closeUp, this,
            [this] { TargetComboBoxCloseUp(TargetComboBox); });

    TntMemo1->OnKeyDown = [this](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        TntMemo1KeyDown(sender, key, shift);
    };
    TntMemo1->OnKeyPress = [this](QObject* sender, QChar& key) { TntMemo1KeyPress(sender, key); };

    bsBusinessSkinForm1->OnRestoreFromTray = [this](QObject* sender) {
        bsBusinessSkinForm1RestoreFromTray(sender);
    };

    for (QWidget* band : {HeaderPanel, TargetHeaderPanel, ButtonPanel})
        band->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ContextMenu &&
        (watched == HeaderPanel || watched == TargetHeaderPanel || watched == ButtonPanel)) {
        bsSkinPopupMenu2->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    TbsCaptionBar* caption = bsBusinessSkinForm1->CaptionBar();
    if (event->type() == QEvent::ContextMenu && watched == caption) {
        CaptionMenu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress && watched == caption->IconLabel &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        CaptionMenu->popup(
            caption->IconLabel->mapToGlobal(caption->IconLabel->rect().bottomLeft()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::FormShow(QObject*) {
    TntMemo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::bsBusinessSkinForm1RestoreFromTray(QObject*) {
    if (x() == 0 && y() == 0)
        TntMemo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous() && !bsBusinessSkinForm1->Restoring())
        FormShow(this);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        FormClose(this);
    }
    bsTrayIcon1->Hide();
    event->accept();
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    // bsSkinButton7 is the window's default button: Enter anywhere the focused
    // control has no use for it starts the translation.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        !qobject_cast<QPlainTextEdit*>(QApplication::focusWidget()) &&
        !qobject_cast<QAbstractButton*>(QApplication::focusWidget()) &&
        bsSkinButton7->isEnabled()) {
        bsSkinButton7->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
