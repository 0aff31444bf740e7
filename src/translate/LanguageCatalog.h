#pragma once

#include <QString>
#include <QStringList>

// The language lists and their service codes. Positions are list positions:
// the source list has 67 items (position 0 is automatic detection), the target
// list 66. A position outside its list gives the empty translation code and
// the speech code "zh".
QStringList SourceLanguageItems();
QStringList TargetLanguageItems();

QString SourceLangCode(int position);
QString TargetLangCode(int position);
QString SourceSpeechCode(int position);
QString TargetSpeechCode(int position);
