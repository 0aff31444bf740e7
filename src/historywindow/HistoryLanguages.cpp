#include "historywindow/HistoryLanguages.h"

#include "translate/LanguageCatalog.h"

namespace {

int PositionIn(int count, QString (*codeAt)(int), const QString& code) {
    if (code.isEmpty())
        return -1;
    for (int i = 0; i < count; ++i)
        if (codeAt(i) == code)
            return i;
    for (int i = 0; i < count; ++i)
        if (codeAt(i).compare(code, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

int SourcePositionOfCode(const QString& code) {
    static const int count = int(SourceLanguageItems().size());
    return PositionIn(count, SourceLangCode, code);
}

int TargetPositionOfCode(const QString& code) {
    static const int count = int(TargetLanguageItems().size());
    return PositionIn(count, TargetLangCode, code);
}

QString LanguageNameOfCode(const QString& code) {
    // Asked for every row the list paints.
    static const QStringList names = SourceLanguageItems();
    const int position = SourcePositionOfCode(code);
    return position < 0 ? code : names.value(position);
}
