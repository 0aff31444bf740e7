// "quillmate history" and the recording of "quillmate translate", as
// processes on a history file in a temporary home.
#include "AnkiImportReader.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "base/Preferences.h"
#include "history/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QByteArray kAnswer =
    R"([[["早上好\r\n","Good morning\r\n",null,null,1],["谢谢","Thank you",null,null,1],[null,null,"Zaoshang hao"]],null,"en"])";

struct Outcome {
    int status = -1;
    QString out, err;
};

class HistoryCommand : public ::testing::Test {
protected:
    void SetUp() override {
        standIn.PointEndpointsHere();
        standIn.SetAnswer(kTranslatePath, StandInReply(kAnswer));
        ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
    }

    Outcome Quillmate(const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUILLMATE_PATH), args);
        if (!process.waitForStarted(10000))
            return {};
        process.closeWriteChannel();
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    // Recorded oldest first; `starred` by source.
    void Fill(const QStringList& sources, const QStringList& starred = {}) {
        HistoryOpenResult opened = HistoryStore::Open(path);
        ASSERT_TRUE(opened.store) << qPrintable(opened.error);
        for (const QString& source : sources) {
            HistoryEntry e;
            e.source = source;
            e.target = source.toUpper() + u"\n(译)"_s;
            e.sourceCode = u"en"_s;
            e.targetCode = u"zh-CN"_s;
            e.engine = u"Google"_s;
            ASSERT_TRUE(opened.store->Record(e).ok());
        }
        HistoryQuery all;
        all.limit = 0;
        for (const HistoryEntry& e : opened.store->Search(all).entries) {
            if (starred.contains(e.source)) {
                ASSERT_TRUE(opened.store->SetStarred(e.id, true).ok());
            }
        }
    }
    // The sources of `history --json` output, in order.
    static QStringList JsonSources(const QString& out) {
        QStringList sources;
        for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
            sources << QJsonDocument::fromJson(line.toUtf8()).object()[u"source"_s].toString();
        return sources;
    }

    TempHome home;
    const QString path = HistoryStore::DefaultPath();
    QTemporaryDir runtime;
    ServiceStandIn standIn;
};

} // namespace

TEST_F(HistoryCommand, TranslateRecordsUnlessTheSwitchIsOff) {
    Outcome run =
        Quillmate({u"translate"_s, u"-s"_s, u"en"_s, u"-t"_s, u"zh-CN"_s, u"Good"_s, u"morning"_s});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"早上好\n谢谢\n"_s);
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    // Again: the entry is updated, not copied.
    ASSERT_EQ(
        Quillmate({u"translate"_s, u"-s"_s, u"en"_s, u"-t"_s, u"zh-CN"_s, u"Good"_s, u"morning"_s})
            .status,
        0);

    run = Quillmate({u"history"_s, u"--json"_s});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << run.out.toStdString();
    const QJsonObject entry = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    EXPECT_EQ(entry[u"source"_s].toString(), u"Good morning"_s);
    EXPECT_EQ(entry[u"target"_s].toString(), u"早上好\n谢谢"_s);
    EXPECT_EQ(entry[u"from"_s].toString(), u"en"_s);
    EXPECT_EQ(entry[u"to"_s].toString(), u"zh-CN"_s);
    EXPECT_FALSE(entry[u"engine"_s].toString().isEmpty());
    EXPECT_FALSE(entry[u"starred"_s].toBool());

    // A failed translation records nothing.
    standIn.SetAnswer(kTranslatePath, StandInReply("oops", 500));
    EXPECT_EQ(Quillmate({u"translate"_s, u"-s"_s, u"en"_s, u"-t"_s, u"zh-CN"_s, u"x"_s}).status, 1);
    standIn.SetAnswer(kTranslatePath, StandInReply(kAnswer));

    ASSERT_TRUE(Preferences::Open()->Write(pref::HistoryEnabled, 0));
    ASSERT_EQ(Quillmate({u"translate"_s, u"-s"_s, u"en"_s, u"-t"_s, u"zh-CN"_s, u"other"_s}).status,
              0);
    EXPECT_EQ(JsonSources(Quillmate({u"history"_s, u"--json"_s}).out),
              QStringList{u"Good morning"_s});
}

TEST_F(HistoryCommand, AFileMovedAsideIsSaidOnStandardError) {
    QDir().mkpath(QFileInfo(path).path());
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'x'));
    damaged.close();
    const Outcome run = Quillmate({u"translate"_s, u"-s"_s, u"en"_s, u"-t"_s, u"zh-CN"_s, u"hi"_s});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"早上好\n谢谢\n"_s);
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_EQ(JsonSources(Quillmate({u"history"_s, u"--json"_s}).out), QStringList{u"hi"_s});
    // The damaged bytes are kept beside it.
    const QStringList aside =
        QDir(QFileInfo(path).path()).entryList({u"history-*.sqlite3"_s}, QDir::Files);
    EXPECT_EQ(aside.size(), 1);
}

TEST_F(HistoryCommand, ListsWhatTheOptionsAskFor) {
    Fill({u"apple"_s, u"banana"_s, u"apple pie"_s, u"cherry"_s}, {u"apple"_s, u"cherry"_s});
    const struct {
        QStringList args;
        QStringList sources;
    } cases[] = {
        {{}, {u"cherry"_s, u"apple pie"_s, u"banana"_s, u"apple"_s}},
        {{u"--search"_s, u"APPLE"_s}, {u"apple pie"_s, u"apple"_s}},
        {{u"--search"_s, u"pie apple"_s}, {u"apple pie"_s}},
        {{u"--search"_s, u"(译"_s}, {u"cherry"_s, u"apple pie"_s, u"banana"_s, u"apple"_s}},
        {{u"--search"_s, u"\"*"_s}, {}},
        {{u"--starred"_s}, {u"cherry"_s, u"apple"_s}},
        {{u"--starred"_s, u"--search"_s, u"apple"_s}, {u"apple"_s}},
        {{u"--limit"_s, u"2"_s}, {u"cherry"_s, u"apple pie"_s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Outcome run = Quillmate(QStringList{u"history"_s, u"--json"_s} + c.args);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(JsonSources(run.out), c.sources);
    }
    // Without --json: one line an entry, the texts on that line.
    const Outcome plain = Quillmate({u"history"_s, u"--limit"_s, u"1"_s});
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out.count(u'\n'), 1);
    EXPECT_TRUE(plain.out.contains(u"en→zh-CN\t★\tcherry\tCHERRY (译)"_s))
        << plain.out.toStdString();
}

TEST_F(HistoryCommand, ExportWritesAFileAnkiReads) {
    Fill({u"apple"_s, u"<b>&"_s, u"apple pie"_s}, {u"apple"_s});
    const QString file = home.path() + u"/anki.txt"_s;
    const struct {
        QStringList args;
        QStringList fronts;
    } cases[] = {
        {{}, {u"apple pie"_s, u"<b>&"_s, u"apple"_s}},
        {{u"--starred"_s}, {u"apple"_s}},
        {{u"--search"_s, u"pie"_s}, {u"apple pie"_s}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QFile::remove(file);
        const Outcome run =
            Quillmate(QStringList{u"history"_s, u"export"_s, u"--anki"_s, file} + c.args);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const AnkiFile anki = ParseAnki(f.readAll());
        EXPECT_EQ(anki.headers.value(u"notetype"_s), u"Basic"_s);
        QStringList fronts, backs;
        for (const QStringList& row : anki.rows) {
            fronts << FromHtml(row.value(0));
            backs << FromHtml(row.value(1));
        }
        EXPECT_EQ(fronts, c.fronts);
        EXPECT_TRUE(backs.value(0).endsWith(u"\n(译)"_s));
    }
}

TEST_F(HistoryCommand, ClearEmptiesTheHistory) {
    Fill({u"one"_s, u"two"_s}, {u"two"_s});
    const Outcome run = Quillmate({u"history"_s, u"clear"_s});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u"2"_s)) << run.out.toStdString();
    const Outcome list = Quillmate({u"history"_s});
    EXPECT_EQ(list.status, 0);
    EXPECT_TRUE(list.out.isEmpty());
}

TEST_F(HistoryCommand, UsageErrorsAndFailuresHaveTheirExitStatus) {
    Fill({u"one"_s});
    const QString unwritable = home.path() + u"/missing/anki.txt"_s;
    const struct {
        QStringList args;
        int status;
    } cases[] = {
        {{u"history"_s, u"show"_s}, 2},
        {{u"history"_s, u"clear"_s, u"now"_s}, 2},
        {{u"history"_s, u"clear"_s, u"--starred"_s}, 2},
        {{u"history"_s, u"export"_s}, 2},
        {{u"history"_s, u"export"_s, u"--anki"_s, u"f.txt"_s, u"--json"_s}, 2},
        {{u"history"_s, u"--anki"_s, u"f.txt"_s}, 2},
        {{u"history"_s, u"--limit"_s, u"0"_s}, 2},
        {{u"history"_s, u"--limit"_s, u"many"_s}, 2},
        {{u"history"_s, u"--search"_s}, 2},
        {{u"history"_s, u"--colour"_s}, 2},
        {{u"history"_s, u"export"_s, u"--anki"_s, unwritable}, 1},
        {{u"history"_s, u"--help"_s}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Outcome run = Quillmate(c.args);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        if (c.status == 2) {
            EXPECT_TRUE(run.err.contains(u"quillmate history"_s)) << "with the usage";
        }
        if (c.status != 0) {
            EXPECT_TRUE(run.out.isEmpty());
        }
    }
    EXPECT_FALSE(QFile::exists(unwritable));
    EXPECT_EQ(JsonSources(Quillmate({u"history"_s, u"--json"_s}).out), QStringList{u"one"_s});

    // No history yet: an empty list, and no file made by looking.
    QFile::remove(path);
    const Outcome none = Quillmate({u"history"_s});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_FALSE(QFile::exists(path));
}
