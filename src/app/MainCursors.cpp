#include "app/CursorFiles.h"
#include "app/Main.h"
#include "base/Paths.h"
#include "toolkit/CursorTable.h"

// Extracts the cursor files that are missing from the data folder (an existing
// file is used as it is, even when it differs), loads both animated cursors
// into their slots and gives the seven buttons the arrow cursor. A cursor that
// cannot be loaded leaves its slot empty and the default cursor shows.
void TForm1::InstallCursors() {
    InstallCursorFiles(FileStorage1, LocalAppDataPath());
    for (QWidget* button : {bsSkinButton1, bsSkinButton2, bsSkinButton3, bsSkinButton4,
                            bsSkinButton5, bsSkinButton8, bsSkinButton7})
        SetControlCursor(button, crAnimatedArrow);
}
