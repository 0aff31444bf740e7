#pragma once

#include <QImage>
#include <QString>
#include <vector>

// Pictures of screen text as desktop programs draw it (menus, buttons with
// gradients and borders, dark themes, status bars, tables, tabs, links, a
// vertical column, Chinese, Traditional Chinese and English at 11-16 px),
// each with the text a reader should find: lines apart by '\n', the pieces of
// one row (buttons, cells, tabs) apart by one blank.
struct ScreenScene {
    const char* name;
    const char* languages; // the Tesseract set a user would choose
    QImage picture;
    QString text;
};

// Naming and counting the scenes draws nothing (test programs list them
// before a QGuiApplication exists); drawing needs one.
size_t ScreenSceneCount();
const char* ScreenSceneName(size_t index);
ScreenScene RenderScreenScene(size_t index);
std::vector<ScreenScene> ScreenScenes();

// Character accuracy: 1 - edit distance / length of the wanted text.
double CharacterAccuracy(const QString& got, const QString& want);
