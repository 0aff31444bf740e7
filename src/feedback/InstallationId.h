#pragma once

#include <QByteArray>

// A random identifier of this installation, made once and kept in the settings
// file as "InstallationID": 32 lower-case hexadecimal digits. It tells the
// feedback server that two messages come from one installation and carries
// nothing about the person or the machine. When the settings cannot be kept,
// a fresh one is used for this run only.
QByteArray InstallationIdentifier();

// True for a text of exactly 32 lower-case hexadecimal digits.
bool IsInstallationIdentifier(const QByteArray& text);
