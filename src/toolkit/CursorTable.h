#pragma once

#include <QString>

class QCursor;
class QWidget;
class TAnimatedCursor;

// The application's cursor table. Slot 0 is the default cursor, slot 2 the
// animated busy cursor, slot 3 the animated arrow cursor; an empty slot shows
// the default cursor.
enum CursorSlot { crDefault = 0, crAnimatedBusy = 2, crAnimatedArrow = 3 };

// Shows a slot's cursor on the whole screen (over every window of the
// program); slot 0 restores the normal cursors. Repeated calls replace the
// cursor shown; one call with slot 0 undoes them all.
void SetScreenCursor(int slot);
// The slot last given to SetScreenCursor.
int ScreenCursor();

// Gives a control the slot's cursor (animated while the mouse is on it);
// slot 0 or an empty slot gives it the default cursor. A control set to an
// empty slot picks the cursor up when the slot is filled later.
void SetControlCursor(QWidget* control, int slot);

// Loads an .ani file into slot 2 or 3. A missing or damaged file leaves the
// slot empty; the result says whether the slot holds a cursor.
bool LoadCursorSlot(int slot, const QString& path);
// Null when the slot is empty.
TAnimatedCursor* CursorSlotCursor(int slot);
void ClearCursorSlots();
