// The window's settings: restored at creation, written back on close.
#include "app/Main.h"
#include "base/Files.h"
#include "base/Paths.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/HintStyle.h"

#include <QDir>

void TForm1::FormCreate(QObject*) {
    SetApplicationHints(true, HintPauseMs);

    if (const std::optional<WindowSettings::Restored> restored = settings_.Restore()) {
        if (restored->sourceLanguage)
            SourceComboBox->SetItemIndex(*restored->sourceLanguage);
        if (restored->targetLanguage)
            TargetComboBox->SetItemIndex(*restored->targetLanguage);
        if (restored->engine)
            (*restored->engine == 1 ? OCRServerID1 : OCRServerID2)->setChecked(true);
        if (restored->face && *restored->face >= 1 && *restored->face <= 3) {
            TbsCompressedStoredSkin* skins[] = {bsCompressedStoredSkin1, bsCompressedStoredSkin2,
                                                bsCompressedStoredSkin3};
            QAction* items[] = {N6, N7, N8};
            bsSkinData1->SetCompressedStoredSkin(skins[*restored->face - 1]);
            items[*restored->face - 1]->setChecked(true);
        }
        if (!restored->error.isEmpty()) {
            // The rest of the start-up (cursors, cache folder) is skipped; the
            // window still opens.
            ShowErrorBox(this, restored->error);
            return;
        }
    }

    InstallCursors();

    // Without a data folder the cache would land in the file system root.
    const QString data = LocalAppDataPath();
    if (!data.isEmpty())
        QDir().mkdir(data + QStringLiteral("/quilltts"));
}

void TForm1::FormClose(QObject*) {
    const QString data = LocalAppDataPath();
    // The trailing separator makes the doubled one of the original paths; harmless here.
    if (!data.isEmpty())
        DeleteFilesWithExtension(data + QStringLiteral("/quilltts/"), QStringLiteral("mp3"));
    settings_.Save(SourceComboBox->currentIndex(), TargetComboBox->currentIndex());
}
