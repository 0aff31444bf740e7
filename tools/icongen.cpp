// quill_icongen FOLDER SIZE...: renders the program's icon into a hicolor
// tree, FOLDER/NxN/apps/quillmate.png for each size.
#include "toolkit/AppIcon.h"

#include <QByteArray>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: quill_icongen FOLDER SIZE...\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 4096) {
            std::fprintf(stderr, "quill_icongen: not a size: %s\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + QStringLiteral("/quillmate.png");
        const QPixmap pixmap = QuillmateIconPixmap(size);
        // A missing icon must fail the build, not leave a hole in the theme.
        if (pixmap.width() != size || !QDir().mkpath(folder) || !pixmap.save(file, "PNG")) {
            std::fprintf(stderr, "quill_icongen: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
