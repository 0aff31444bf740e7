#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

// One value of the settings file.
struct SettingsValue {
    enum Kind { Integer, String, Other };
    QString name; // case as first written
    Kind kind = Integer;
    int32_t integer = 0;
    QString text;
    QString raw; // Other: the data as found after '=', written back unchanged
};
using SettingsValues = std::vector<SettingsValue>;

// Reads the registry-export text of the settings file: "REGEDIT4", the one
// section line, then "name"=dword:xxxxxxxx or "name"="text" lines (hex and
// other typed data are kept as written). A later value of the same name, in
// any case, replaces the earlier one. False, with values unspecified, for
// text that is not such a file; empty text is an empty key.
bool ParseSettingsText(QByteArrayView bytes, SettingsValues& values);

// The file's text for values, which ParseSettingsText reads back unchanged.
QByteArray WriteSettingsText(const SettingsValues& values);

// The value of that name, compared without regard to case; null when absent.
const SettingsValue* FindSetting(const SettingsValues& values, const QString& name);
SettingsValue* FindSetting(SettingsValues& values, const QString& name);
