// The import file, read back the way Anki's manual describes text import:
// "#key:value" header lines on top, other lines starting with '#' are
// comments, fields split at the separator unless quoted ("" inside quotes is
// one quote), and with HTML on, <br> a line break and entities for & < >.
#include "AnkiImportReader.h"
#include "HistoryTestUtil.h"
#include "history/AnkiNotes.h"

#include <QFile>
#include <QMap>

using namespace Qt::StringLiterals;

TEST(AnkiNotes, TheFileReadsBackAsTheEntries) {
    QList<HistoryEntry> entries = {
        Entry(u"第一行\r\n第二行\n第三行\r第四行"_s, u"line one<br>stays text"_s),
        Entry(u"a\tb"_s, u"<b>bold</b> & \"quoted\""_s, u"en"_s, u"zh-CN"_s),
        Entry(u"#开头的井号"_s, u"\"starts with a quote"_s),
        Entry(u"控制"_s + QChar(0) + QChar(7) + u"字符"_s, u"tags:not a tag line"_s),
    };
    entries[1].starred = true;
    entries[3].sourceCode = u"zh CN\"x"_s;
    const AnkiFile file = ParseAnki(AnkiImportText(entries));

    EXPECT_EQ(file.headers.value(u"separator"_s), u"tab"_s);
    EXPECT_EQ(file.headers.value(u"html"_s), u"true"_s);
    EXPECT_EQ(file.headers.value(u"notetype"_s), u"Basic"_s);
    EXPECT_EQ(file.headers.value(u"deck"_s), u"Quillmate"_s);
    const int tagsColumn = file.headers.value(u"tags column"_s).toInt();
    const int deckColumn = file.headers.value(u"deck column"_s).toInt();
    ASSERT_EQ(tagsColumn, 3);
    ASSERT_EQ(deckColumn, 4);

    const QStringList sources = {u"第一行\n第二行\n第三行\n第四行"_s, u"a\tb"_s, u"#开头的井号"_s,
                                 u"控制字符"_s};
    ASSERT_EQ(file.rows.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        const QStringList& row = file.rows[i];
        ASSERT_EQ(row.size(), 4);
        EXPECT_EQ(FromHtml(row[0]), sources[i]);
        EXPECT_EQ(FromHtml(row[1]), entries[i].target);
        const QStringList tags = row[tagsColumn - 1].split(u' ');
        EXPECT_TRUE(tags.contains(u"Quillmate"_s));
        EXPECT_EQ(tags.contains(u"生词本"_s), entries[i].starred);
        EXPECT_EQ(row[deckColumn - 1], u"Quillmate"_s);
    }
    EXPECT_TRUE(file.rows[1][2].split(u' ').contains(u"en→zh-CN"_s));
    EXPECT_TRUE(file.rows[3][2].split(u' ').contains(u"zh_CN_x→en"_s))
        << qPrintable(file.rows[3][2]);
}

TEST(AnkiNotes, WritingReportsAFolderThatIsMissing) {
    QTemporaryDir dir;
    const QList<HistoryEntry> entries = {Entry(u"词"_s, u"word"_s)};
    const QString good = dir.path() + u"/anki.txt"_s;
    EXPECT_EQ(WriteAnkiImportFile(good, entries), QString());
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), AnkiImportText(entries));
    EXPECT_FALSE(WriteAnkiImportFile(dir.path() + u"/missing/anki.txt"_s, entries).isEmpty());
}
