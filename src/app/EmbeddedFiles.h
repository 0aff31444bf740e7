#pragma once

#include <QByteArrayView>

class TFileStorage;

// The program's own container ("SFP1"), linked into the executable at build
// time from the generated cursors and the capture library. The bytes live as
// long as the program; empty when the build made no container.
QByteArrayView EmbeddedStoredData();

// Decodes the embedded container into storage and runs its after-load step,
// as loading the main window's description does. A damaged container leaves
// the records read before the damage.
void LoadEmbeddedFiles(TFileStorage* storage);
