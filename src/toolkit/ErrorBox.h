#pragma once

#include <QString>
#include <functional>

class QWidget;

// The platform's standard error box (a plain message box, not the skinned one)
// for errors that escape a handler.
void ShowErrorBox(QWidget* parent, const QString& text);

// Test seam: while set, ShowErrorBox calls it instead of showing a box.
using ErrorBoxHook = std::function<void(const QString& text)>;
void SetErrorBoxHook(ErrorBoxHook hook);
