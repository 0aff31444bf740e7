#include "app/Main.h"
#include "base/Preferences.h"
#include "enginesettings/EngineSettingsForm.h"
#include "keyring/KeyKeeper.h"
#include "translate/TranslateService.h"

#include <QContextMenuEvent>
#include <QTimer>

namespace {

// How long a translation waits for the keys the secret service keeps.
constexpr int kKeyWaitMs = 3000;

} // namespace

void TForm1::BuildCaptionMenu() {
    CaptionMenu = new QMenu(this);
    CaptionMenu->setObjectName(QStringLiteral("CaptionMenu"));
    CaptionEngines = CaptionMenu->addAction(QStringLiteral("翻译引擎设置"));
    CaptionEngines->setObjectName(QStringLiteral("CaptionEngines"));
    connect(CaptionEngines, &QAction::triggered, this, [this] { EnginesClick(CaptionEngines); });
    bsBusinessSkinForm1->CaptionBar()->installEventFilter(this);
    bsBusinessSkinForm1->CaptionBar()->IconLabel->installEventFilter(this);
}

void TForm1::EnginesClick(QObject*) {
    // The tray still reaches the program while the dialog is open.
    if (auto* open = findChild<TEngineSettingsForm*>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    {
        TEngineSettingsForm form(this);
        form.Messages = bsSkinMessage1;
        form.OnSaved = [this] { ReloadTranslateConfig(); };
        form.exec();
    }
    // Also after a close without saving: the chain may have changed elsewhere.
    ReloadTranslateConfig();
    TntMemo1->setFocus(Qt::OtherFocusReason);
}

void TForm1::ReloadTranslateConfig() {
    TranslateConfig config = LoadTranslateConfig();
    const QList<const TextPreference*> missing = KeysToLookUp(config);
    const int lookup = ++keyLookup_;
    if (missing.isEmpty()) {
        translation_->Reconfigure(std::move(config));
        keysPending_ = false;
        StartWaitingTranslation();
        return;
    }
    keysPending_ = true;
    // A keyring that waits for the user to unlock it must not hold the
    // window: past the limit translations go on without those keys, and the
    // keys still count when they come.
    QTimer::singleShot(kKeyWaitMs, this, [this, config, lookup] {
        if (lookup != keyLookup_ || !keysPending_)
            return;
        translation_->Reconfigure(config);
        keysPending_ = false;
        StartWaitingTranslation();
    });
    if (!keys_)
        keys_ = new KeyKeeper(this);
    keys_->Read(missing,
                [this, config, missing, lookup](const KeyKeeper::Keys& keys, bool) mutable {
                    if (lookup != keyLookup_)
                        return;
                    for (const TextPreference* value : missing)
                        SetKey(config, *value, keys.value(QLatin1String(value->name)));
                    translation_->Reconfigure(std::move(config));
                    keysPending_ = false;
                    StartWaitingTranslation();
                });
}

void TForm1::StartWaitingTranslation() {
    // A busy service drops it, as the translate command does: the running
    // translation puts cursor and button back.
    if (const std::unique_ptr<WaitingTranslation> w = std::move(waiting_))
        translation_->Start(w->source, w->target, w->text);
}
