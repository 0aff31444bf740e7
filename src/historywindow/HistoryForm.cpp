#include "historywindow/HistoryForm.h"

#include "base/Preferences.h"
#include "history/AnkiConnectClient.h"
#include "history/AnkiNotes.h"
#include "history/HistoryStore.h"
#include "historywindow/HistoryListModel.h"
#include "historywindow/HistoryWorker.h"
#include "toolkit/BusinessSkinForm.h"
#include "toolkit/SkinMessage.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedHeight(26);
    button->setMinimumWidth(84);
    button->setAutoDefault(false);
    return button;
}

QString Positions(const QList<int>& duplicates) {
    QStringList numbers;
    for (int position : duplicates)
        numbers << QString::number(position + 1);
    return numbers.join(QStringLiteral("、"));
}

} // namespace

THistoryForm::THistoryForm(const QString& path, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("HistoryForm"));
    setAttribute(Qt::WA_StyledBackground);
    setWindowTitle(QStringLiteral("翻译历史"));
    bsBusinessSkinForm1 = new TbsBusinessSkinForm(this);
    bsBusinessSkinForm1->setObjectName(QStringLiteral("bsBusinessSkinForm1"));
    // Only the main window goes to the tray: this frame has no tray icon.
    bsBusinessSkinForm1->HideTrayButtonWithoutTray = true;
    bsBusinessSkinForm1->CaptionBar()->TrayButton->hide();
    Messages = new TbsSkinMessage(this);

    worker_ = new HistoryWorker(path, this);
    worker_->OnMessage = [this](const QString& message) {
        Message(message, TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
    };
    model_ = new HistoryListModel(worker_, this);
    model_->OnError = [this](const QString& message) {
        Message(message, TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
    };
    model_->OnChanged = [this] { ShowCount(); };

    searchPause_ = new QTimer(this);
    searchPause_->setSingleShot(true);
    searchPause_->setInterval(SearchPauseMs);
    connect(searchPause_, &QTimer::timeout, this, [this] { Search(); });

    BuildControls();
    ChooseExportFile = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("导出到 Anki"), suggested,
                                            QStringLiteral("文本文件 (*.txt)"));
    };
    const int border = TbsBusinessSkinForm::BorderWidth;
    resize(DesignWidth + 2 * border,
           bsBusinessSkinForm1->CaptionBar()->height() + DesignHeight + border);
    Search();
}

THistoryForm::~THistoryForm() {
    // The worker's replies reach into the model: it goes first.
    delete worker_;
    worker_ = nullptr;
}

void THistoryForm::BuildControls() {
    QWidget* client = bsBusinessSkinForm1->BuildFrame();
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->setSpacing(8);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("搜索："), client));
    SearchEdit = new QLineEdit(client);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setPlaceholderText(QStringLiteral("原文或译文中的字词，以空格分开"));
    SearchEdit->setClearButtonEnabled(true);
    SearchEdit->installEventFilter(this);
    connect(SearchEdit, &QLineEdit::textEdited, this, [this] { SearchEditChange(); });
    top->addWidget(SearchEdit, 1);
    WordBookBox = new QCheckBox(QStringLiteral("生词本"), client);
    WordBookBox->setObjectName(QStringLiteral("WordBookBox"));
    WordBookBox->setToolTip(QStringLiteral("只列出加了星标的条目"));
    connect(WordBookBox, &QCheckBox::toggled, this, [this] { Search(); });
    top->addWidget(WordBookBox);
    CountLabel = new QLabel(client);
    CountLabel->setObjectName(QStringLiteral("CountLabel"));
    CountLabel->setMinimumWidth(110);
    CountLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    top->addWidget(CountLabel);
    layout->addLayout(top);

    EntryList = new QTableView(client);
    EntryList->setObjectName(QStringLiteral("EntryList"));
    EntryList->setModel(model_);
    EntryList->setSelectionBehavior(QAbstractItemView::SelectRows);
    EntryList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    EntryList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    EntryList->setWordWrap(false);
    EntryList->setShowGrid(false);
    EntryList->verticalHeader()->hide();
    // Rows of one height: the view never measures the texts of all rows.
    EntryList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    EntryList->verticalHeader()->setDefaultSectionSize(24);
    QHeaderView* header = EntryList->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(HistoryListModel::SourceColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(HistoryListModel::TargetColumn, QHeaderView::Stretch);
    header->resizeSection(HistoryListModel::StarColumn, 32);
    header->resizeSection(HistoryListModel::LanguagesColumn, 150);
    header->resizeSection(HistoryListModel::TimeColumn, 120);
    EntryList->installEventFilter(this);
    connect(EntryList, &QTableView::clicked, this,
            [this](const QModelIndex& index) { EntryListClick(index); });
    connect(EntryList, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { EntryListDoubleClick(index); });
    layout->addWidget(EntryList, 1);

    auto* buttons = new QHBoxLayout;
    DeleteButton = Button(QStringLiteral("删除"), "DeleteButton", client);
    connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteButtonClick(); });
    ClearButton = Button(QStringLiteral("清空历史"), "ClearButton", client);
    connect(ClearButton, &QPushButton::clicked, this, [this] { ClearButtonClick(); });
    ExportButton = Button(QStringLiteral("导出到 Anki"), "ExportButton", client);
    ExportMenu = new QMenu(ExportButton);
    ExportAll = ExportMenu->addAction(QStringLiteral("全部历史"));
    ExportFound = ExportMenu->addAction(QStringLiteral("当前列表"));
    ExportWordBook = ExportMenu->addAction(QStringLiteral("生词本"));
    connect(ExportMenu, &QMenu::triggered, this, [this](QAction* scope) { ExportClick(scope); });
    ExportButton->setMenu(ExportMenu);
    AnkiButton = Button(QStringLiteral("添加到 Anki"), "AnkiButton", client);
    AnkiButton->setToolTip(QStringLiteral("把选中的条目加入正在运行的 Anki（需要 AnkiConnect）"));
    connect(AnkiButton, &QPushButton::clicked, this, [this] { AnkiButtonClick(); });
    CloseButton = Button(QStringLiteral("关闭"), "CloseButton", client);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(DeleteButton);
    buttons->addWidget(ClearButton);
    buttons->addSpacing(16);
    buttons->addWidget(ExportButton);
    buttons->addWidget(AnkiButton);
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);
}

QList<int> THistoryForm::ChosenRows() const {
    QList<int> rows;
    for (const QModelIndex& index : EntryList->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void THistoryForm::ReloadAfter(std::function<void()> written) {
    worker_->Post([this, written = std::move(written)](const HistoryWorker::Access&) {
        written();
        return HistoryWorker::Reply([this] { model_->Reload(); });
    });
}

bool THistoryForm::SearchPending() const {
    return searchPause_->isActive();
}

void THistoryForm::SearchEditChange() {
    searchPause_->start();
}

void THistoryForm::Search() {
    searchPause_->stop();
    model_->SetQuery(SearchEdit->text().trimmed(), WordBookBox->isChecked());
}

void THistoryForm::ShowCount() {
    const qint64 count = model_->MatchCount();
    if (count < 0)
        CountLabel->setText(model_->rowCount() > 0
                                ? QStringLiteral("%1 条以上").arg(model_->rowCount())
                                : QStringLiteral("正在查找…"));
    else
        CountLabel->setText(QStringLiteral("共 %1 条").arg(count));
    const bool any = model_->rowCount() > 0;
    DeleteButton->setEnabled(any);
    AnkiButton->setEnabled(any && !(anki_ && anki_->IsBusy()));
}

void THistoryForm::EntryListClick(const QModelIndex& index) {
    if (index.isValid() && index.column() == HistoryListModel::StarColumn)
        model_->SetStarred(index.row(), !model_->Entry(index.row()).starred);
}

void THistoryForm::EntryListDoubleClick(const QModelIndex& index) {
    if (!index.isValid() || index.column() == HistoryListModel::StarColumn)
        return;
    if (OnUse)
        OnUse(model_->Entry(index.row()));
}

void THistoryForm::DeleteButtonClick() {
    model_->Remove(ChosenRows());
}

void THistoryForm::ClearButtonClick() {
    const int answer =
        Message(QStringLiteral("   确定要清空全部翻译历史（包括生词本）吗？此操作无法撤销。"),
                TbsSkinMessage::mtConfirmation, TbsSkinMessage::mbYes | TbsSkinMessage::mbNo);
    if (answer == TbsSkinMessage::mrYes)
        model_->Clear();
}

void THistoryForm::ExportClick(QAction* scope) {
    HistoryQuery query;
    query.limit = 0;
    if (scope == ExportFound)
        query = model_->Query();
    else if (scope == ExportWordBook)
        query.starredOnly = true;
    const QString suggested =
        QDir::home().filePath(scope == ExportWordBook ? QStringLiteral("Quillmate-生词本.txt")
                                                      : QStringLiteral("Quillmate-翻译历史.txt"));
    const QString file = ChooseExportFile ? ChooseExportFile(suggested) : QString();
    if (file.isEmpty())
        return;
    worker_->Post([this, query, file](const HistoryWorker::Access& access) -> HistoryWorker::Reply {
        HistoryPage page;
        if (access.store)
            page = access.store->Search(query);
        else
            page.error = access.error;
        QString error = page.error;
        if (error.isEmpty())
            error = WriteAnkiImportFile(file, page.entries);
        const qsizetype count = page.entries.size();
        return [this, error, count, file] {
            if (!error.isEmpty())
                Message(error, TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
            else
                Message(QStringLiteral("   已导出 %1 条到 %2。在 Anki 中用“导入文件”即可读入。")
                            .arg(count)
                            .arg(QDir::toNativeSeparators(file)),
                        TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
        };
    });
}

void THistoryForm::AnkiButtonClick() {
    const QList<int> rows = ChosenRows();
    if (rows.isEmpty()) {
        Message(QStringLiteral("   请先在列表中选中要添加的条目。"), TbsSkinMessage::mtInformation,
                TbsSkinMessage::mbOK);
        return;
    }
    if (!anki_) {
        anki_ = new AnkiConnectClient(this);
        anki_->OnFinished = [this](const AnkiConnectResult& result) { AnkiFinished(result); };
    }
    sentToAnki_ = model_->Entries(rows);
    if (anki_->AddNotes(Preferences::Get(pref::AnkiConnectUrl), sentToAnki_))
        AnkiButton->setEnabled(false);
}

void THistoryForm::AnkiFinished(const AnkiConnectResult& result) {
    ShowCount();
    if (!result.error.isEmpty()) {
        Message(result.error, TbsSkinMessage::mtError, TbsSkinMessage::mbOK);
        return;
    }
    QString text =
        QStringLiteral("   已添加 %1 条到 Anki 的牌组“%2”。").arg(result.added).arg(kAnkiDeck);
    if (!result.duplicates.isEmpty()) {
        QStringList sources;
        for (int position : result.duplicates)
            if (position >= 0 && position < sentToAnki_.size())
                sources << sentToAnki_[position].source.simplified().left(40);
        text += QStringLiteral("\n%1 条 Anki 中已有，未重复添加（第 %2 条）：%3")
                    .arg(result.duplicates.size())
                    .arg(Positions(result.duplicates), sources.join(QStringLiteral("；")));
    }
    Message(text, TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
}

int THistoryForm::Message(const QString& text, int kind, int buttons) {
    return Messages->ShowSkinMessage(text, quint8(kind), quint16(buttons));
}

bool THistoryForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (watched == SearchEdit && enter) {
        Search();
        return true;
    }
    if (watched == SearchEdit && key->key() == Qt::Key_Down && model_->rowCount() > 0) {
        EntryList->setFocus(Qt::OtherFocusReason);
        EntryList->selectRow(0);
        return true;
    }
    if (watched == EntryList && enter && EntryList->currentIndex().isValid()) {
        if (OnUse)
            OnUse(model_->Entry(EntryList->currentIndex().row()));
        return true;
    }
    if (watched == EntryList && key->key() == Qt::Key_Delete) {
        DeleteButtonClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
