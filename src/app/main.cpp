#include <QApplication>
#include <memory>

#include "app/Main.h"
#include "feedback/SendUserInfo.h"
#include "toolkit/AppIcon.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmate"));
    QApplication::setWindowIcon(QuillmateIcon());

    auto* Form1 = new TForm1;
    Form1->setAttribute(Qt::WA_DeleteOnClose);
    // Kept hidden for the whole run; the contact command opens fresh dialogs.
    auto SendUserInfo = std::make_unique<TSendUserInfo>();
    SendUserInfo->hide();

    Form1->show();
    return app.exec();
}
