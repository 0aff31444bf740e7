#pragma once

#include <QString>

// A history entry's translation codes as the window's language lists show
// them. Codes compare exactly first, then without regard to case (the lists
// hold one code in an odd case).

// The position in the source list (0: automatic detection), or -1.
int SourcePositionOfCode(const QString& code);
// The position in the target list, or -1.
int TargetPositionOfCode(const QString& code);
// The name the source list gives the code, or the code itself when the list
// lacks it (an entry of another version of the program).
QString LanguageNameOfCode(const QString& code);
