#include "app/Main.h"

#include "feedback/SendUserInfo.h"
#include "toolkit/AppIcon.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmate"));
    QApplication::setWindowIcon(QuillmateIcon());
    // The text boxes' own menus (cut, copy, paste) speak the interface's language.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qt_zh_CN"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    auto* Form1 = new TForm1;
    Form1->setAttribute(Qt::WA_DeleteOnClose);
    // Kept hidden for the whole run; the contact command opens fresh dialogs.
    auto SendUserInfo = std::make_unique<TSendUserInfo>();
    SendUserInfo->hide();

    Form1->show();
    return app.exec();
}
