// Records <count> translations "<prefix> <n>" into the history at <path>,
// each the way the command line does (open, record, close), and one shared
// text "shared" every time. Exits 1 at the first failure.
#include "history/HistoryRecorder.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLatin1(argv[3]).toInt();
    for (int i = 0; i < count; ++i) {
        for (const QString& source :
             {prefix + u' ' + QString::number(i), QStringLiteral("shared")}) {
            HistoryEntry e;
            e.source = source;
            e.target = prefix + QStringLiteral(" 译文 ") + QString::number(i);
            e.sourceCode = QStringLiteral("en");
            e.targetCode = QStringLiteral("zh-CN");
            const HistoryStatus status = RecordTranslationNow(path, e, true);
            if (!status.ok()) {
                std::fprintf(stderr, "%s\n", qPrintable(status.error));
                return 1;
            }
        }
    }
    return 0;
}
