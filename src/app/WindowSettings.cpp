#include "app/WindowSettings.h"

#include "base/Preferences.h"

int WindowSettings::StoredFace() {
    // A value of the wrong type stops the restoring before it reaches the
    // look, so the same reads come first here.
    WindowSettings probe;
    const std::optional<Restored> restored = probe.Restore();
    if (!restored || !restored->face)
        return 1;
    const int face = *restored->face;
    return face >= 1 && face <= 3 ? face : 1;
}

std::optional<WindowSettings::Restored> WindowSettings::Restore() {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    if (!prefs)
        return std::nullopt;
    Restored r;
    try {
        r.sourceLanguage = prefs->Read(pref::SourceLanguage);
        r.targetLanguage = prefs->Read(pref::TargetLanguage);
        r.engine = prefs->Read(pref::Ocr);
        restoredEngine_ = *r.engine;
        r.face = prefs->Read(pref::Face);
    } catch (const ESettingsError& error) {
        r.error = QString::fromUtf8(error.what());
    }
    return r;
}

void WindowSettings::Save(int32_t sourceLanguage, int32_t targetLanguage) const {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    if (!prefs)
        return;
    prefs->Write(pref::SourceLanguage, sourceLanguage);
    prefs->Write(pref::TargetLanguage, targetLanguage);
    prefs->Write(pref::OcrServer, restoredEngine_);
    prefs->Write(pref::OcrLanguage, ocrLanguage_);
    prefs->Write(pref::OcrPath, ocrPath_);
}
