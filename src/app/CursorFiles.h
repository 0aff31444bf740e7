#pragma once

#include <QString>

class TFileStorage;

// The cursor step of the program's start: for "appstarting.ani" and
// "arrow.ani", extracts the stored file into folder when no file exists there
// (an existing file is used as it is), then loads them into slots 2 and 3.
// An empty folder extracts nothing and leaves both slots empty.
void InstallCursorFiles(TFileStorage* storage, const QString& folder);
