#include "history/AnkiNotes.h"

#include "base/Files.h"

QString AnkiFieldHtml(QStringView text) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        switch (c) {
        case u'&':
            out += QLatin1String("&amp;");
            break;
        case u'<':
            out += QLatin1String("&lt;");
            break;
        case u'>':
            out += QLatin1String("&gt;");
            break;
        case u'"':
            out += QLatin1String("&quot;");
            break;
        case u'\t':
            out += QLatin1String("&#9;");
            break;
        case u'\r':
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QLatin1String("<br>");
            break;
        case u'\n':
            out += QLatin1String("<br>");
            break;
        case u'#':
            out += i == 0 ? QLatin1String("&#35;") : QLatin1String("#");
            break;
        default:
            if (c >= 0x20 && c != 0x7f)
                out += QChar(c);
        }
    }
    return out;
}

namespace {

QString TagWord(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (c.isSpace() || c == u'"' || c.unicode() < 0x20)
            c = u'_';
    return out;
}

} // namespace

QStringList AnkiTags(const HistoryEntry& entry) {
    QStringList tags{QString::fromLatin1(kAnkiDeck),
                     TagWord(entry.sourceCode) + QStringLiteral("→") + TagWord(entry.targetCode)};
    if (entry.starred)
        tags << QStringLiteral("生词本");
    return tags;
}

QByteArray AnkiImportText(const QList<HistoryEntry>& entries) {
    QByteArray out = "#separator:tab\n"
                     "#html:true\n"
                     "#notetype:" +
                     QByteArray(kAnkiNoteType) + "\n#deck:" + QByteArray(kAnkiDeck) +
                     "\n"
                     "#tags column:3\n"
                     "#deck column:4\n";
    for (const HistoryEntry& e : entries) {
        const QString line = AnkiFieldHtml(e.source) + u'\t' + AnkiFieldHtml(e.target) + u'\t' +
                             AnkiTags(e).join(u' ') + u'\t' + QLatin1String(kAnkiDeck) + u'\n';
        out += line.toUtf8();
    }
    return out;
}

QString WriteAnkiImportFile(const QString& path, const QList<HistoryEntry>& entries) {
    if (!SaveFileAtomically(path, AnkiImportText(entries)))
        return QStringLiteral("无法写入 %1。").arg(path);
    return {};
}
