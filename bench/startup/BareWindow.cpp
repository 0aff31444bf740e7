// The yardstick for quillmate's start-up: a plain Qt window holding the same
// controls (two labels, two language lists, two text boxes, seven buttons),
// without skins, settings, cursors or network components.
#include "translate/LanguageCatalog.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(" Q u i l l m a t e");
    window.resize(797, 454);

    QFont font(QString::fromUtf8("宋体"));
    font.setPixelSize(14);

    auto* source = new QComboBox;
    source->addItems(SourceLanguageItems());
    auto* target = new QComboBox;
    target->addItems(TargetLanguageItems());
    target->setCurrentIndex(2);
    auto* input = new QPlainTextEdit;
    auto* output = new QPlainTextEdit;
    output->setReadOnly(true);
    input->setFont(font);
    output->setFont(font);

    auto* grid = new QGridLayout(&window);
    grid->addWidget(new QLabel(QString::fromUtf8("原文语言：")), 0, 0);
    grid->addWidget(source, 0, 1);
    grid->addWidget(input, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QString::fromUtf8("译文语言：")), 2, 0);
    grid->addWidget(target, 2, 1);
    grid->addWidget(output, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (const char* caption : {"清空文本", "复制译文", "智能升级", "联系我们", "使用帮助",
                                "图片文字识别", "开 始 翻 译"})
        buttons->addWidget(new QPushButton(QString::fromUtf8(caption)));
    grid->addLayout(buttons, 4, 0, 1, 2);

    window.show();
    input->setFocus();
    return app.exec();
}
