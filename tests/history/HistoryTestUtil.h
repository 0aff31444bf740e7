#pragma once

#include "history/HistoryStore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

inline HistoryEntry Entry(const QString& source, const QString& target,
                          const QString& from = QStringLiteral("zh-CN"),
                          const QString& to = QStringLiteral("en")) {
    HistoryEntry e;
    e.source = source;
    e.target = target;
    e.sourceCode = from;
    e.targetCode = to;
    e.engine = QStringLiteral("google");
    e.timeMs = 1700000000000;
    return e;
}

// A store in a temporary folder of its own.
struct TempStore {
    QTemporaryDir dir;
    QString path = dir.path() + QStringLiteral("/history.sqlite3");
    std::unique_ptr<HistoryStore> store = Open();

    std::unique_ptr<HistoryStore> Open() {
        HistoryOpenResult r = HistoryStore::Open(path);
        EXPECT_TRUE(r.store) << qPrintable(r.error);
        EXPECT_TRUE(r.notice.isEmpty()) << qPrintable(r.notice);
        return std::move(r.store);
    }
    void Record(const HistoryEntry& e) {
        const HistoryStatus s = store->Record(e);
        ASSERT_TRUE(s.ok()) << qPrintable(s.error);
    }
    // The sources found, newest first.
    QStringList Find(const QString& text, bool starredOnly = false, int limit = 0) {
        HistoryQuery q;
        q.text = text;
        q.starredOnly = starredOnly;
        q.limit = limit;
        const HistoryPage page = store->Search(q);
        EXPECT_TRUE(page.error.isEmpty()) << qPrintable(page.error);
        QStringList sources;
        for (const HistoryEntry& e : page.entries)
            sources << e.source;
        return sources;
    }
};

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
