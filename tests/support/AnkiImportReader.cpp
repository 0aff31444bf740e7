#include "AnkiImportReader.h"

using namespace Qt::StringLiterals;

namespace {

QList<QStringList> SplitRecords(const QString& text, QChar separator) {
    QList<QStringList> rows;
    QStringList fields;
    QString field;
    bool quoted = false, atStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && atStart) {
            quoted = true;
        } else if (c == separator || c == u'\n') {
            fields << field;
            field.clear();
            if (c == u'\n') {
                rows << fields;
                fields.clear();
            }
            atStart = true;
            continue;
        } else {
            field += c;
        }
        atStart = false;
    }
    if (!field.isEmpty() || !fields.isEmpty())
        rows << (fields << field);
    return rows;
}

} // namespace

AnkiFile ParseAnki(const QByteArray& bytes) {
    AnkiFile file;
    QString text = QString::fromUtf8(bytes);
    QString body;
    bool inHeader = true;
    for (const QString& line : text.split(u'\n')) {
        if (inHeader && line.startsWith(u'#') && line.contains(u':')) {
            const qsizetype colon = line.indexOf(u':');
            file.headers.insert(line.mid(1, colon - 1), line.mid(colon + 1));
            continue;
        }
        inHeader = false;
        if (line.startsWith(u'#'))
            continue; // a comment
        body += line + u'\n';
    }
    const QString sep = file.headers.value(u"separator"_s);
    const QChar separator = sep.compare(u"tab"_s, Qt::CaseInsensitive) == 0 ? u'\t' : sep.at(0);
    for (const QStringList& row : SplitRecords(body, separator))
        if (!(row.size() == 1 && row[0].isEmpty()))
            file.rows << row;
    return file;
}

QString FromHtml(QString html) {
    html.replace(u"<br>"_s, u"\n"_s);
    for (const auto& [entity, c] : {std::pair{u"&lt;"_s, u"<"_s},
                                    {u"&gt;"_s, u">"_s},
                                    {u"&quot;"_s, u"\""_s},
                                    {u"&#9;"_s, u"\t"_s},
                                    {u"&#35;"_s, u"#"_s},
                                    {u"&amp;"_s, u"&"_s}})
        html.replace(entity, c);
    return html;
}
