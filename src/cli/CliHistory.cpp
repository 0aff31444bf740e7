#include "cli/CliCommands.h"
#include "history/AnkiNotes.h"
#include "history/HistoryJson.h"
#include "history/HistoryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

using namespace cli;

namespace {

// One entry on one line: line breaks and tabs of the texts become blanks
// (--json keeps them).
QString PlainLine(const HistoryEntry& e) {
    return QStringLiteral("%1\t%2→%3\t%4\t%5\t%6\n")
        .arg(QDateTime::fromMSecsSinceEpoch(e.timeMs).toLocalTime().toString(
                 QStringLiteral("yyyy-MM-dd HH:mm")),
             e.sourceCode, e.targetCode, e.starred ? QStringLiteral("★") : QString(),
             e.source.simplified(), e.target.simplified());
}

// The store, or nothing with the reason on standard error. `made` is false
// when there is no history yet: reading never makes the file.
std::unique_ptr<HistoryStore> OpenHistory(bool& failed) {
    failed = false;
    const QString path = HistoryStore::DefaultPath();
    if (path.isEmpty()) {
        Complain(QStringLiteral("quillmate：找不到存放翻译历史的数据文件夹"));
        failed = true;
        return nullptr;
    }
    if (!QFileInfo::exists(path))
        return nullptr;
    HistoryOpenResult opened = HistoryStore::Open(path);
    if (!opened.notice.isEmpty())
        Complain(QStringLiteral("quillmate：") + opened.notice);
    if (!opened.store) {
        Complain(QStringLiteral("quillmate：") + opened.error);
        failed = true;
    }
    return std::move(opened.store);
}

HistoryQuery QueryOf(const CliOptions& options) {
    HistoryQuery query;
    query.text = options.search;
    query.starredOnly = options.starred;
    query.limit = options.limit;
    return query;
}

int List(const CliOptions& options) {
    bool failed = false;
    const std::unique_ptr<HistoryStore> store = OpenHistory(failed);
    if (!store)
        return failed ? 1 : 0;
    const HistoryPage page = store->Search(QueryOf(options));
    if (!page.error.isEmpty()) {
        Complain(QStringLiteral("quillmate：") + page.error);
        return 1;
    }
    for (const HistoryEntry& entry : page.entries)
        Print(options.json ? QString::fromUtf8(HistoryJsonLine(entry)) : PlainLine(entry));
    return 0;
}

int Export(const CliOptions& options) {
    bool failed = false;
    const std::unique_ptr<HistoryStore> store = OpenHistory(failed);
    if (failed)
        return 1;
    HistoryPage page;
    if (store)
        page = store->Search(QueryOf(options));
    if (!page.error.isEmpty()) {
        Complain(QStringLiteral("quillmate：") + page.error);
        return 1;
    }
    if (const QString error = WriteAnkiImportFile(options.ankiFile, page.entries);
        !error.isEmpty()) {
        Complain(QStringLiteral("quillmate：") + error);
        return 1;
    }
    Print(QStringLiteral("已导出 %1 条到 %2\n")
              .arg(page.entries.size())
              .arg(QDir::toNativeSeparators(options.ankiFile)));
    return 0;
}

int Clear() {
    bool failed = false;
    const std::unique_ptr<HistoryStore> store = OpenHistory(failed);
    if (!store)
        return failed ? 1 : 0;
    HistoryQuery all;
    all.limit = 0;
    const HistoryCount count = store->Count(all);
    if (const HistoryStatus status = store->Clear(); !status.ok()) {
        Complain(QStringLiteral("quillmate：") + status.error);
        return 1;
    }
    Print(QStringLiteral("已清空翻译历史（%1 条）\n").arg(count.count));
    return 0;
}

} // namespace

int RunHistoryCommand(const CliOptions& options) {
    if (options.action == QLatin1String("export"))
        return Export(options);
    if (options.action == QLatin1String("clear"))
        return Clear();
    return List(options);
}
