#include "enginesettings/EngineSettingsForm.h"

#include "base/Preferences.h"
#include "keyring/KeyKeeper.h"
#include "toolkit/CursorTable.h"
#include "toolkit/SkinMessage.h"
#include "translate/TranslateCheck.h"
#include "translate/TranslateConfig.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString TitleOf(const QString& name) {
    if (name == QLatin1String("google"))
        return QStringLiteral("Google 翻译");
    if (name == QLatin1String("bing"))
        return QStringLiteral("Bing 翻译");
    if (name == QLatin1String("libretranslate"))
        return QStringLiteral("LibreTranslate");
    return QStringLiteral("大模型（OpenAI 兼容）");
}

QString Stored(const Preferences* prefs, const TextPreference& value) {
    if (!prefs)
        return QString::fromUtf8(value.fallback);
    try {
        return prefs->Read(value).trimmed();
    } catch (const ESettingsError&) {
        return QString::fromUtf8(value.fallback);
    }
}

// An address a translation can go to: http or https with a host.
bool UsableAddress(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

QLineEdit* KeyEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    edit->setPlaceholderText(QStringLiteral("没有密钥时留空"));
    return edit;
}

} // namespace

TEngineSettingsForm::TEngineSettingsForm(QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral(" 翻 译 引 擎 "), DesignWidth, DesignHeight) {
    keys_ = new KeyKeeper(this);
    auto* outer = new QVBoxLayout(ClientArea);
    outer->setContentsMargins(15, 12, 15, 12);
    outer->setSpacing(6);

    outer->addWidget(
        new QLabel(QStringLiteral("按顺序尝试勾选的引擎，一个失败时换下一个："), ClientArea));
    rowGrid_ = new QGridLayout;
    rowGrid_->setHorizontalSpacing(6);
    rowGrid_->setVerticalSpacing(4);
    rowGrid_->setColumnStretch(1, 1);
    outer->addLayout(rowGrid_);
    BuildRows();

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    fields->setVerticalSpacing(4);
    LibreUrl = new QLineEdit(ClientArea);
    LibreUrl->setPlaceholderText(QStringLiteral("例如 http://127.0.0.1:5000"));
    LibreKey = KeyEdit(ClientArea);
    ShowLibreKey = AddButton(QRect(), QStringLiteral("显示"));
    LlmUrl = new QLineEdit(ClientArea);
    LlmUrl->setPlaceholderText(QStringLiteral("例如 http://127.0.0.1:11434/v1"));
    LlmModel = new QLineEdit(ClientArea);
    LlmModel->setPlaceholderText(QStringLiteral("例如 qwen2.5:7b"));
    LlmKey = KeyEdit(ClientArea);
    ShowLlmKey = AddButton(QRect(), QStringLiteral("显示"));
    const struct {
        const char* caption;
        QLineEdit* edit;
        QPushButton* show;
    } lines[] = {
        {"LibreTranslate 地址：", LibreUrl, nullptr},
        {"LibreTranslate 密钥：", LibreKey, ShowLibreKey},
        {"大模型地址：", LlmUrl, nullptr},
        {"大模型名称：", LlmModel, nullptr},
        {"大模型密钥：", LlmKey, ShowLlmKey},
    };
    int line = 0;
    for (const auto& l : lines) {
        fields->addWidget(new QLabel(QString::fromUtf8(l.caption), ClientArea), line, 0);
        fields->addWidget(l.edit, line, 1, 1, l.show ? 1 : 2);
        if (l.show) {
            l.show->setFixedSize(50, 22);
            l.show->setCheckable(true);
            fields->addWidget(l.show, line, 2);
        }
        ++line;
    }
    outer->addSpacing(6);
    outer->addLayout(fields);

    KeyPlaceLabel = new QLabel(ClientArea);
    KeyPlaceLabel->setObjectName(QStringLiteral("KeyPlaceLabel"));
    Note = new QLabel(ClientArea);
    Note->setWordWrap(true);
    outer->addWidget(KeyPlaceLabel);
    outer->addWidget(Note);
    outer->addStretch(1);

    SaveButton = AddButton(QRect(), QStringLiteral("保  存"));
    CloseButton = AddButton(QRect(), QStringLiteral("关  闭"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {SaveButton, CloseButton}) {
        button->setFixedSize(100, 25);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    outer->addLayout(buttons);

    auto reveal = [](QPushButton* button, QLineEdit* edit) {
        connect(button, &QPushButton::toggled, edit, [button, edit](bool shown) {
            edit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
            button->setText(shown ? QStringLiteral("隐藏") : QStringLiteral("显示"));
        });
    };
    reveal(ShowLibreKey, LibreKey);
    reveal(ShowLlmKey, LlmKey);
    connect(LibreKey, &QLineEdit::textEdited, this, [this] { libreKeyEdited_ = true; });
    connect(LlmKey, &QLineEdit::textEdited, this, [this] { llmKeyEdited_ = true; });
    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveClick(SaveButton); });
    connect(CloseButton, &QPushButton::clicked, this, &TEngineSettingsForm::reject);

    LoadSettings();
}

TEngineSettingsForm::~TEngineSettingsForm() = default;

void TEngineSettingsForm::BuildRows() {
    for (const QString& name : KnownEngineNames()) {
        EngineRow row;
        row.name = name;
        row.Enabled = new QCheckBox(TitleOf(name), ClientArea);
        row.Enabled->setObjectName(name);
        row.Enabled->setMinimumWidth(170);
        row.Outcome = new QLabel(ClientArea);
        row.Up = AddButton(QRect(), QStringLiteral("上移"));
        row.Down = AddButton(QRect(), QStringLiteral("下移"));
        row.Test = AddButton(QRect(), QStringLiteral("测试"));
        for (QPushButton* button : {row.Up, row.Down, row.Test})
            button->setFixedSize(50, 22);
        // Rows move: the handlers find theirs by name.
        auto index = [this, name] {
            for (int i = 0; i < Rows.size(); ++i)
                if (Rows[i].name == name)
                    return i;
            return -1;
        };
        connect(row.Up, &QPushButton::clicked, this, [this, index] { MoveClick(index(), -1); });
        connect(row.Down, &QPushButton::clicked, this, [this, index] { MoveClick(index(), 1); });
        connect(row.Test, &QPushButton::clicked, this, [this, index] { TestClick(index()); });
        Rows << row;
    }
}

void TEngineSettingsForm::LayOutRows() {
    for (int i = 0; i < Rows.size(); ++i) {
        const EngineRow& row = Rows[i];
        rowGrid_->addWidget(row.Enabled, i, 0);
        rowGrid_->addWidget(row.Outcome, i, 1);
        rowGrid_->addWidget(row.Up, i, 2);
        rowGrid_->addWidget(row.Down, i, 3);
        rowGrid_->addWidget(row.Test, i, 4);
        row.Up->setEnabled(i > 0);
        row.Down->setEnabled(i + 1 < Rows.size());
    }
}

void TEngineSettingsForm::LoadSettings() {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    // The chain as stored: those named are on, in their order; the others
    // follow, off.
    QStringList on;
    for (const QString& word : Stored(prefs.get(), pref::TranslateEngines).split(u','))
        if (const QString name = word.trimmed().toLower();
            KnownEngineNames().contains(name) && !on.contains(name))
            on << name;
    if (on.isEmpty())
        on = QString::fromUtf8(pref::TranslateEngines.fallback).split(u',');
    QList<EngineRow> ordered;
    for (const QString& name : on)
        for (const EngineRow& row : Rows)
            if (row.name == name)
                ordered << row;
    for (const EngineRow& row : Rows)
        if (!on.contains(row.name))
            ordered << row;
    Rows = ordered;
    for (EngineRow& row : Rows)
        row.Enabled->setChecked(on.contains(row.name));
    LayOutRows();

    LibreUrl->setText(Stored(prefs.get(), pref::LibreTranslateUrl));
    LlmUrl->setText(Stored(prefs.get(), pref::LlmUrl));
    LlmModel->setText(Stored(prefs.get(), pref::LlmModel));

    QStringList overriding;
    for (const char* variable : {"QUILLMATE_TRANSLATE_ENGINES", "QUILLMATE_LIBRETRANSLATE_URL",
                                 "QUILLMATE_LIBRETRANSLATE_KEY", "QUILLMATE_LLM_URL",
                                 "QUILLMATE_LLM_MODEL", "QUILLMATE_LLM_KEY"})
        if (!qEnvironmentVariable(variable).trimmed().isEmpty())
            overriding << QString::fromLatin1(variable);
    if (!overriding.isEmpty())
        Note->setText(QStringLiteral("环境变量 %1 已设置，优先于这里的设置。")
                          .arg(overriding.join(QStringLiteral("、"))));

    // A key the user types meanwhile is never replaced by the stored one.
    keys_->Read({&pref::LibreTranslateKey, &pref::LlmKey}, [this](const KeyKeeper::Keys& keys,
                                                                  bool fromSecretService) {
        if (!libreKeyEdited_)
            LibreKey->setText(keys.value(QLatin1String(pref::LibreTranslateKey.name)));
        if (!llmKeyEdited_)
            LlmKey->setText(keys.value(QLatin1String(pref::LlmKey.name)));
        const bool any =
            std::any_of(keys.begin(), keys.end(), [](const QString& k) { return !k.isEmpty(); });
        if (any && !saving_)
            ShowKeyPlace(fromSecretService ? KeyPlace::SecretService : KeyPlace::SettingsFile,
                         false);
    });
}

void TEngineSettingsForm::FormShow(QObject*) {
    for (QPushButton* button : {SaveButton, CloseButton})
        SetControlCursor(button, crAnimatedArrow);
}

QStringList TEngineSettingsForm::Order() const {
    QStringList names;
    for (const EngineRow& row : Rows)
        names << row.name;
    return names;
}

QStringList TEngineSettingsForm::EnabledNames() const {
    QStringList names;
    for (const EngineRow& row : Rows)
        if (row.Enabled->isChecked())
            names << row.name;
    return names;
}

void TEngineSettingsForm::MoveClick(int row, int step) {
    const int to = row + step;
    if (row < 0 || row >= Rows.size() || to < 0 || to >= Rows.size())
        return;
    Rows.swapItemsAt(row, to);
    LayOutRows();
}

EngineSettings TEngineSettingsForm::SettingsOf(const QString& name) const {
    // What the fields say; an empty field leaves what the variables give.
    EngineSettings engine = LoadEngineSettings(nullptr, name);
    auto take = [](QString& setting, const QLineEdit* edit) {
        if (const QString text = edit->text().trimmed(); !text.isEmpty())
            setting = text;
    };
    if (name == QLatin1String("libretranslate")) {
        take(engine.url, LibreUrl);
        take(engine.key, LibreKey);
    } else if (name == QLatin1String("llm")) {
        take(engine.url, LlmUrl);
        take(engine.model, LlmModel);
        take(engine.key, LlmKey);
    }
    return engine;
}

void TEngineSettingsForm::TestClick(int row) {
    if (row < 0 || row >= Rows.size())
        return;
    const EngineRow& r = Rows[row];
    const EngineSettings engine = SettingsOf(r.name);
    if (!engine.Configured()) {
        r.Outcome->setText(r.name == QLatin1String("llm") ? QStringLiteral("请先填写地址和名称")
                                                          : QStringLiteral("请先填写地址"));
        return;
    }
    TranslateCheck*& check = checks_[r.name];
    if (!check)
        check = new TranslateCheck(this);
    if (check->IsBusy())
        return;
    QLabel* outcome = r.Outcome;
    QPushButton* test = r.Test;
    check->OnChecked = [outcome](const EngineCheckResult& checked) {
        const TranslateResult& result = checked.result;
        if (result.outcome == TranslateOutcome::Translated && !result.failure)
            outcome->setText(QStringLiteral("成功：%1（%2 毫秒）")
                                 .arg(result.text.trimmed().replace(QLatin1String("\r\n"), " "))
                                 .arg(result.elapsedMs));
        else
            outcome->setText(QStringLiteral("失败：%1（%2 毫秒）")
                                 .arg(result.failure ? EngineFailureText(*result.failure)
                                                     : QStringLiteral("没有译文"))
                                 .arg(result.elapsedMs));
    };
    check->OnFinished = [test] { test->setEnabled(true); };
    outcome->setText(QStringLiteral("测试中…"));
    test->setEnabled(false);
    check->Start({engine});
}

bool TEngineSettingsForm::Validate() {
    const QStringList on = EnabledNames();
    if (on.isEmpty()) {
        Message(QStringLiteral("   请至少启用一个翻译引擎。"), TbsSkinMessage::mtError);
        return false;
    }
    const struct {
        const char* engine;
        const char* caption;
        QLineEdit* edit;
    } addresses[] = {{"libretranslate", "LibreTranslate", LibreUrl}, {"llm", "大模型", LlmUrl}};
    for (const auto& a : addresses) {
        const QString text = a.edit->text().trimmed();
        if (!text.isEmpty() && !UsableAddress(text)) {
            Message(QStringLiteral("   %1的地址无效：%2（应以 http:// 或 https:// 开头）")
                        .arg(QString::fromUtf8(a.caption), text),
                    TbsSkinMessage::mtError);
            a.edit->setFocus();
            return false;
        }
        if (text.isEmpty() && on.contains(QLatin1String(a.engine)) &&
            !SettingsOf(QLatin1String(a.engine)).Configured()) {
            Message(QStringLiteral("   启用%1需要填写它的地址。").arg(QString::fromUtf8(a.caption)),
                    TbsSkinMessage::mtError);
            a.edit->setFocus();
            return false;
        }
    }
    if (on.contains(QLatin1String("llm")) && !SettingsOf(QStringLiteral("llm")).Configured()) {
        Message(QStringLiteral("   启用大模型需要填写模型的名称。"), TbsSkinMessage::mtError);
        LlmModel->setFocus();
        return false;
    }
    return true;
}

void TEngineSettingsForm::SaveClick(QObject*) {
    if (saving_ || !Validate())
        return;
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    const bool written = prefs && prefs->Write(pref::TranslateEngines, EnabledNames().join(u',')) &&
                         prefs->Write(pref::LibreTranslateUrl, LibreUrl->text().trimmed()) &&
                         prefs->Write(pref::LlmUrl, LlmUrl->text().trimmed()) &&
                         prefs->Write(pref::LlmModel, LlmModel->text().trimmed());
    if (!written) {
        Message(QStringLiteral("   无法写入设置文件 %1。").arg(SettingsKey::FilePath()),
                TbsSkinMessage::mtError);
        return;
    }
    QList<QPair<const TextPreference*, QString>> edited;
    if (libreKeyEdited_)
        edited.append({&pref::LibreTranslateKey, LibreKey->text()});
    if (llmKeyEdited_)
        edited.append({&pref::LlmKey, LlmKey->text()});
    if (edited.isEmpty()) {
        KeyPlaceLabel->setText(QStringLiteral("设置已保存。"));
        Saved();
        return;
    }
    saving_ = true;
    SaveButton->setEnabled(false);
    KeyPlaceLabel->setText(QStringLiteral("正在保存密钥…"));
    keys_->Write(edited, [this](KeyPlace place) {
        saving_ = false;
        SaveButton->setEnabled(true);
        if (place != KeyPlace::Failed)
            libreKeyEdited_ = llmKeyEdited_ = false;
        ShowKeyPlace(place, true);
        Saved();
    });
}

void TEngineSettingsForm::ShowKeyPlace(KeyPlace place, bool saved) {
    const QString done = saved ? QStringLiteral("设置已保存。") : QString();
    switch (place) {
    case KeyPlace::SecretService:
        KeyPlaceLabel->setText(done + QStringLiteral("密钥由系统的密钥服务保管。"));
        break;
    case KeyPlace::SettingsFile:
        KeyPlaceLabel->setText(
            done + QStringLiteral("没有可用的密钥服务：密钥保存在设置文件中，只有您能读取。"));
        break;
    case KeyPlace::NoKeys:
        KeyPlaceLabel->setText(done + QStringLiteral("没有保存密钥。"));
        break;
    case KeyPlace::Failed:
        KeyPlaceLabel->setText(QStringLiteral("密钥没有保存：密钥服务和设置文件都无法写入。"));
        break;
    }
}

void TEngineSettingsForm::Saved() {
    if (OnSaved)
        OnSaved();
    if (closeWhenSaved_)
        TSkinnedDialog::reject();
}

void TEngineSettingsForm::reject() {
    if (saving_) {
        closeWhenSaved_ = true;
        return;
    }
    TSkinnedDialog::reject();
}
