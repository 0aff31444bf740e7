#pragma once

#include <QString>
#include <functional>

// Opens an address in the user's default program (the browser for a web
// address). The result is not reported: callers ignore it.
void ShellOpen(const QString& address);

// True for an absolute http:// or https:// address with a host.
bool IsWebAddress(const QString& address);

// Test seam: while set, ShellOpen calls it instead of the desktop.
using ShellOpenHook = std::function<void(const QString& address)>;
void SetShellOpenHook(ShellOpenHook hook);
