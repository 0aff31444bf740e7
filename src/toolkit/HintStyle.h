#pragma once

// Turns hints (tool tips) on for the whole application and sets the pause
// before one is shown, in milliseconds.
void SetApplicationHints(bool enabled, int pauseMs);
int ApplicationHintPause();
bool ApplicationHintsEnabled();
