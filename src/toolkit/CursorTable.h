#pragma once

class QCursor;

// The application's cursor table. Slot 0 is the default cursor, slot 2 the
// animated busy cursor, slot 3 the animated arrow cursor; an empty slot shows
// the default cursor.
enum CursorSlot { crDefault = 0, crAnimatedBusy = 2, crAnimatedArrow = 3 };

// Shows a slot's cursor on the whole screen (over every window of the
// program); slot 0 restores the normal cursors.
void SetScreenCursor(int slot);
