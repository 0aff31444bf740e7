#pragma once

#include <QByteArray>
#include <QString>

// The launcher a user puts on the desktop: "Quillmate.desktop" in the folder
// xdg-user-dirs names as the desktop.

// The launcher's text for a program, its folder and its icon file (no Icon
// line when icon is empty).
QByteArray DesktopLauncher(const QString& program, const QString& folder, const QString& icon);

QString DesktopLauncherPath();

// Writes the launcher of program, replacing an earlier one, and marks it
// executable, as desktops start only such launchers. iconPng, when given, is
// kept as "quillmate.png" in dataFolder for the launcher to name. False when
// the launcher could not be written (the earlier one then stays).
bool WriteDesktopLauncher(const QString& program, const QByteArray& iconPng,
                          const QString& dataFolder);
