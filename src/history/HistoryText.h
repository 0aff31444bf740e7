#pragma once

#include "history/HistoryEntry.h"

#include <QString>
#include <QStringView>

// A text as the history keeps it: every CR LF, lone CR and lone LF one LF,
// and no line break at the end. The window's boxes and the command line's
// input and answers differ only in these, so the same text finds its entry
// whichever way it was translated.
QString HistoryText(QStringView text);

// The entry for one translation: both texts as the history keeps them.
HistoryEntry TranslationEntry(const QString& sourceCode, const QString& targetCode,
                              QStringView text, QStringView translation, const QString& engine);
