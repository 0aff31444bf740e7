#include "history/HistoryText.h"

QString HistoryText(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u'\n';
        } else {
            out += text[i];
        }
    }
    while (out.endsWith(u'\n'))
        out.chop(1);
    return out;
}

HistoryEntry TranslationEntry(const QString& sourceCode, const QString& targetCode,
                              QStringView text, QStringView translation, const QString& engine) {
    HistoryEntry entry;
    entry.source = HistoryText(text);
    entry.target = HistoryText(translation);
    entry.sourceCode = sourceCode;
    entry.targetCode = targetCode;
    entry.engine = engine;
    return entry;
}
