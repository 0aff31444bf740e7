// The history window offscreen on a real history file: what the list shows
// while the user searches, stars, deletes and clears, and what leaves it
// (the main window's entry, the Anki file, the AnkiConnect requests).
#include "AnkiImportReader.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "base/Preferences.h"
#include "history/AnkiNotes.h"
#include "history/HistoryStore.h"
#include "historywindow/HistoryForm.h"
#include "historywindow/HistoryListModel.h"
#include "toolkit/SkinMessage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <set>

using namespace Qt::StringLiterals;

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

struct Shown {
    QString text;
    int kind;
    int buttons;
};

HistoryEntry Entry(const QString& source, const QString& target, bool starred = false) {
    HistoryEntry e;
    e.source = source;
    e.target = target;
    e.sourceCode = u"zh-CN"_s;
    e.targetCode = u"en"_s;
    e.engine = u"Google"_s;
    e.starred = starred;
    return e;
}

StandInAnswer AnkiResult(const QJsonValue& result) {
    const QJsonObject o{{u"result"_s, result}, {u"error"_s, QJsonValue::Null}};
    return StandInReply(QJsonDocument(o).toJson(), 200, {{"Content-Type", "application/json"}});
}

class HistoryForm : public ::testing::Test {
protected:
    void SetUp() override {
        TbsSkinMessage::SetAnswerer([this](const QString& text, int kind, int buttons) {
            shown.append({text, kind, buttons});
            return answer;
        });
    }
    void TearDown() override {
        form.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
    }

    // Entries recorded oldest first, so the last one given lists on top.
    void Fill(const QList<HistoryEntry>& entries) {
        HistoryOpenResult opened = HistoryStore::Open(path);
        ASSERT_TRUE(opened.store) << qPrintable(opened.error);
        for (HistoryEntry e : entries) {
            const bool starred = e.starred;
            ASSERT_TRUE(opened.store->Record(e).ok());
            if (starred) {
                HistoryQuery q;
                q.limit = 1;
                const HistoryPage top = opened.store->Search(q);
                ASSERT_TRUE(opened.store->SetStarred(top.entries.at(0).id, true).ok());
            }
        }
    }
    void Open() {
        form = std::make_unique<THistoryForm>(path);
        form->OnUse = [this](const HistoryEntry& e) { used << e; };
        form->show();
        ASSERT_TRUE(Settled());
    }
    // Waits until the list shows the query's first page and its count.
    bool Settled() {
        return WaitUntil([this] {
            return !Model()->IsLoading() && Model()->MatchCount() >= 0 && !form->SearchPending();
        });
    }
    HistoryListModel* Model() const { return form->Entries(); }
    QStringList Sources() const {
        QStringList out;
        for (int row = 0; row < Model()->rowCount(); ++row)
            out << Model()->Entry(row).source;
        return out;
    }
    // What the file holds, newest first.
    QList<HistoryEntry> Stored(bool starredOnly = false) const {
        HistoryOpenResult opened = HistoryStore::Open(path);
        EXPECT_TRUE(opened.store);
        if (!opened.store)
            return {};
        HistoryQuery q;
        q.limit = 0;
        q.starredOnly = starredOnly;
        return opened.store->Search(q).entries;
    }
    QStringList StoredSources(bool starredOnly = false) const {
        QStringList out;
        for (const HistoryEntry& e : Stored(starredOnly))
            out << e.source;
        return out;
    }
    void Choose(const QList<int>& rows) {
        form->EntryList->clearSelection();
        for (int row : rows)
            form->EntryList->selectionModel()->select(
                Model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Types into the search box as a keyboard or an input method would.
    void Type(const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(form->SearchEdit, &press);
        }
    }
    QModelIndex Cell(int row, int column) const { return Model()->index(row, column); }

    TempHome home;
    const QString path = HistoryStore::DefaultPath();
    std::unique_ptr<THistoryForm> form;
    QList<Shown> shown;
    int answer = TbsSkinMessage::mrOk;
    QList<HistoryEntry> used;
};

} // namespace

TEST_F(HistoryForm, TypingFiltersTheListOnceTheUserPauses) {
    Fill({Entry(u"猫"_s, u"cat"_s), Entry(u"狗"_s, u"dog"_s), Entry(u"大猫"_s, u"big cat"_s),
          Entry(u"Hello World"_s, u"你好，世界"_s)});
    Open();
    EXPECT_EQ(Sources(), (QStringList{u"Hello World"_s, u"大猫"_s, u"狗"_s, u"猫"_s}));
    const struct {
        QString typed;
        QStringList found;
    } cases[] = {
        {u"猫"_s, {u"大猫"_s, u"猫"_s}},
        {u"CAT"_s, {u"大猫"_s, u"猫"_s}},
        {u"cat 大"_s, {u"大猫"_s}},
        {u"世界"_s, {u"Hello World"_s}},
        {u"\"*(或)"_s, {}},
        {u"鲸鱼"_s, {}},
        {u""_s, {u"Hello World"_s, u"大猫"_s, u"狗"_s, u"猫"_s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        form->SearchEdit->selectAll();
        form->SearchEdit->del();
        Type(c.typed);
        // Typing alone lists nothing new: the search waits for a pause.
        if (!c.typed.isEmpty()) {
            EXPECT_TRUE(form->SearchPending());
            EXPECT_EQ(Model()->Query().text, QString());
        }
        ASSERT_TRUE(Settled());
        EXPECT_EQ(Sources(), c.found);
        EXPECT_EQ(Model()->MatchCount(), c.found.size());
        form->Search(); // back to an empty query for the next case
        form->SearchEdit->clear();
        form->Search();
        ASSERT_TRUE(Settled());
    }
    EXPECT_TRUE(shown.isEmpty()) << qPrintable(shown.first().text);
}

TEST_F(HistoryForm, ALongHistoryIsListedPageByPageNewestFirst) {
    QList<HistoryEntry> entries;
    const int total = HistoryListModel::kPageSize * 2 + 57;
    for (int i = 0; i < total; ++i)
        entries << Entry(u"词 %1"_s.arg(i), u"word %1"_s.arg(i));
    Fill(entries);
    Open();
    EXPECT_EQ(Model()->rowCount(), HistoryListModel::kPageSize);
    EXPECT_EQ(Model()->MatchCount(), total);
    // Scrolling to the end asks for the next pages.
    while (Model()->canFetchMore({})) {
        form->EntryList->scrollToBottom();
        Model()->fetchMore({});
        ASSERT_TRUE(WaitUntil([this] { return !Model()->IsLoading(); }));
    }
    ASSERT_EQ(Model()->rowCount(), total);
    std::set<int64_t> ids;
    for (int row = 0; row < total; ++row) {
        EXPECT_EQ(Model()->Entry(row).source, u"词 %1"_s.arg(total - 1 - row));
        ids.insert(Model()->Entry(row).id);
    }
    EXPECT_EQ(int(ids.size()), total);
    EXPECT_EQ(Model()->data(Cell(0, HistoryListModel::LanguagesColumn)).toString(),
              u"简体中文 → 英语"_s);
}

TEST_F(HistoryForm, TheStarKeepsAnEntryInTheWordBook) {
    Fill({Entry(u"一"_s, u"one"_s), Entry(u"二"_s, u"two"_s, true), Entry(u"三"_s, u"three"_s)});
    Open();
    form->EntryListClick(Cell(2, HistoryListModel::StarColumn));   // 一
    form->EntryListClick(Cell(0, HistoryListModel::SourceColumn)); // not the star: nothing
    ASSERT_TRUE(WaitUntil([this] { return StoredSources(true).size() == 2; }));
    EXPECT_EQ(StoredSources(true), (QStringList{u"二"_s, u"一"_s}));

    form->WordBookBox->setChecked(true);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Sources(), (QStringList{u"二"_s, u"一"_s}));
    form->EntryListClick(Cell(0, HistoryListModel::StarColumn)); // 二 leaves the word book
    ASSERT_TRUE(WaitUntil([this] { return StoredSources(true) == QStringList{u"一"_s}; }));
    EXPECT_EQ(StoredSources(), (QStringList{u"三"_s, u"二"_s, u"一"_s}));
}

TEST_F(HistoryForm, DoubleClickOrEnterHandsTheEntryBack) {
    Fill({Entry(u"第一行\n第二行"_s, u"line one\nline two"_s), Entry(u"二"_s, u"two"_s)});
    Open();
    form->EntryListDoubleClick(Cell(1, HistoryListModel::TargetColumn));
    form->EntryListDoubleClick(Cell(0, HistoryListModel::StarColumn)); // that is the star
    ASSERT_EQ(used.size(), 1);
    EXPECT_EQ(used[0].source, u"第一行\n第二行"_s);
    EXPECT_EQ(used[0].target, u"line one\nline two"_s);
    EXPECT_EQ(used[0].sourceCode, u"zh-CN"_s);

    form->EntryList->setFocus();
    form->EntryList->setCurrentIndex(Cell(0, HistoryListModel::SourceColumn));
    QTest::keyClick(form->EntryList, Qt::Key_Return);
    ASSERT_EQ(used.size(), 2);
    EXPECT_EQ(used[1].source, u"二"_s);
}

TEST_F(HistoryForm, DeleteRemovesTheChosenAndClearAsksFirst) {
    Fill({Entry(u"一"_s, u"one"_s), Entry(u"二"_s, u"two"_s), Entry(u"三"_s, u"three"_s),
          Entry(u"四"_s, u"four"_s)});
    Open();
    Choose({1, 3}); // 三, 一
    form->DeleteButton->click();
    EXPECT_EQ(Sources(), (QStringList{u"四"_s, u"二"_s}));
    ASSERT_TRUE(WaitUntil([this] { return StoredSources().size() == 2; }));
    EXPECT_EQ(StoredSources(), (QStringList{u"四"_s, u"二"_s}));

    answer = TbsSkinMessage::mrNo;
    form->ClearButton->click();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].kind, TbsSkinMessage::mtConfirmation);
    EXPECT_EQ(shown[0].buttons, TbsSkinMessage::mbYes | TbsSkinMessage::mbNo);
    QTest::qWait(50);
    EXPECT_EQ(StoredSources().size(), 2);
    EXPECT_EQ(Model()->rowCount(), 2);

    answer = TbsSkinMessage::mrYes;
    form->ClearButton->click();
    ASSERT_TRUE(WaitUntil([this] { return Model()->rowCount() == 0; }));
    EXPECT_TRUE(StoredSources().isEmpty());
    EXPECT_EQ(Model()->MatchCount(), 0);
    EXPECT_FALSE(form->DeleteButton->isEnabled());
}

TEST_F(HistoryForm, ExportWritesTheChosenScopeForAnki) {
    Fill({Entry(u"苹果"_s, u"apple"_s, true), Entry(u"香蕉"_s, u"banana"_s),
          Entry(u"苹果派"_s, u"apple <pie>"_s), Entry(u"a\tb"_s, u"tab & co"_s, true)});
    Open();
    form->SearchEdit->setText(u"苹果"_s);
    form->Search();
    ASSERT_TRUE(Settled());
    const QString file = home.path() + u"/export.txt"_s;
    QString suggested;
    form->ChooseExportFile = [&](const QString& s) {
        suggested = s;
        return file;
    };
    const struct {
        QAction* scope;
        QStringList fronts;
    } cases[] = {
        {form->ExportAll, {u"a\tb"_s, u"苹果派"_s, u"香蕉"_s, u"苹果"_s}},
        {form->ExportFound, {u"苹果派"_s, u"苹果"_s}},
        {form->ExportWordBook, {u"a\tb"_s, u"苹果"_s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scope->text().toStdString());
        QFile::remove(file);
        shown.clear();
        c.scope->trigger();
        ASSERT_TRUE(WaitUntil([this] { return !shown.isEmpty(); }));
        EXPECT_EQ(shown[0].kind, TbsSkinMessage::mtInformation) << qPrintable(shown[0].text);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const AnkiFile anki = ParseAnki(f.readAll());
        EXPECT_EQ(anki.headers.value(u"deck"_s), QString::fromLatin1(kAnkiDeck));
        QStringList fronts;
        for (const QStringList& row : anki.rows)
            fronts << FromHtml(row.value(0));
        EXPECT_EQ(fronts, c.fronts);
    }
    EXPECT_FALSE(suggested.isEmpty());

    // Cancelled: nothing written, nothing said.
    QFile::remove(file);
    shown.clear();
    form->ChooseExportFile = [](const QString&) { return QString(); };
    form->ExportAll->trigger();
    QTest::qWait(100);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(shown.isEmpty());

    // A folder that is not there: an error, and no file.
    const QString nowhere = home.path() + u"/missing/export.txt"_s;
    form->ChooseExportFile = [&](const QString&) { return nowhere; };
    form->ExportAll->trigger();
    ASSERT_TRUE(WaitUntil([this] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown[0].kind, TbsSkinMessage::mtError);
    EXPECT_FALSE(QFile::exists(nowhere));
}

TEST_F(HistoryForm, AddToAnkiReportsAddedAndDuplicates) {
    Fill({Entry(u"一"_s, u"one"_s), Entry(u"二"_s, u"two"_s), Entry(u"三"_s, u"three"_s)});
    ServiceStandIn anki;
    anki.SetAnswers("/",
                    {AnkiResult(QJsonArray{u"Quillmate"_s}), AnkiResult(QJsonArray{u"Basic"_s}),
                     AnkiResult(QJsonArray{true, false}), AnkiResult(QJsonArray{qint64(7)})});
    ASSERT_TRUE(Preferences::Open()->Write(pref::AnkiConnectUrl, anki.Url(u"/")));
    Open();

    // Nothing chosen: a hint, nothing sent.
    form->EntryList->clearSelection();
    form->AnkiButton->click();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(anki.RequestCount(), 0);

    shown.clear();
    Choose({0, 2}); // 三, 一
    form->AnkiButton->click();
    EXPECT_FALSE(form->AnkiButton->isEnabled()) << "one sending at a time";
    ASSERT_TRUE(WaitUntil([&] { return !shown.isEmpty(); }, 20000));
    EXPECT_EQ(shown[0].kind, TbsSkinMessage::mtInformation);
    EXPECT_TRUE(shown[0].text.contains(u"已添加 1 条"_s)) << qPrintable(shown[0].text);
    EXPECT_TRUE(shown[0].text.contains(u"1 条 Anki 中已有"_s)) << qPrintable(shown[0].text);
    EXPECT_TRUE(shown[0].text.contains(u"一"_s)) << qPrintable(shown[0].text);
    EXPECT_TRUE(form->AnkiButton->isEnabled());
    const QList<StandInRequest> requests = anki.Requests();
    ASSERT_FALSE(requests.isEmpty());
    const QJsonObject added = QJsonDocument::fromJson(requests.last().body).object();
    EXPECT_EQ(added[u"action"_s].toString(), u"addNotes"_s);
    const QJsonArray notes = added[u"params"_s][u"notes"_s].toArray();
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0][u"fields"_s][u"Front"_s].toString(), u"三"_s);
}

TEST_F(HistoryForm, AnAbsentAnkiIsAClearMessage) {
    Fill({Entry(u"一"_s, u"one"_s)});
    // Nobody listens on port 1 of loopback.
    ASSERT_TRUE(Preferences::Open()->Write(pref::AnkiConnectUrl, u"http://127.0.0.1:1"_s));
    Open();
    Choose({0});
    form->AnkiButton->click();
    ASSERT_TRUE(WaitUntil([&] { return !shown.isEmpty(); }, 20000));
    EXPECT_EQ(shown[0].kind, TbsSkinMessage::mtError);
    EXPECT_TRUE(shown[0].text.contains(u"Anki 正在运行"_s)) << qPrintable(shown[0].text);
    EXPECT_TRUE(form->AnkiButton->isEnabled());
}

TEST_F(HistoryForm, LookingMakesNoFileAndADamagedOneIsMovedAside) {
    Open();
    EXPECT_EQ(Model()->rowCount(), 0);
    EXPECT_EQ(Model()->MatchCount(), 0);
    EXPECT_FALSE(QFile::exists(path));
    form.reset();

    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'x'));
    damaged.close();
    Open();
    ASSERT_TRUE(WaitUntil([this] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown[0].kind, TbsSkinMessage::mtInformation);
    EXPECT_EQ(shown[0].buttons, TbsSkinMessage::mbOK);
    EXPECT_EQ(Model()->rowCount(), 0);
}
