#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The program's modules sit in the build tree, not beside the test program.
    if (qEnvironmentVariableIsEmpty("QUILLMATE_MODULE_DIR"))
        qputenv("QUILLMATE_MODULE_DIR", QUILL_MODULE_DIR);
    // Widget tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
