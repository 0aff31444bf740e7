#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// An Anki import file read back the way Anki's manual describes text import:
// "#key:value" header lines on top, other lines starting with '#' are
// comments, fields split at the separator unless quoted ("" inside quotes is
// one quote), and with HTML on, <br> a line break and entities for & < >.
struct AnkiFile {
    QMap<QString, QString> headers;
    QList<QStringList> rows;
};

AnkiFile ParseAnki(const QByteArray& bytes);
// A field's HTML as the text Anki shows.
QString FromHtml(QString html);
