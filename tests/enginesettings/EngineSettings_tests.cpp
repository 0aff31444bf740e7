// The engines' settings dialog and where it keeps keys: a private session
// bus for the whole program, with a real secret service on it only for the
// tests that ask for one (libsecret keeps its connection for the process).
#include "EnvScope.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "base/Preferences.h"
#include "enginesettings/EngineSettingsForm.h"
#include "keyring/KeyKeeper.h"
#include "toolkit/SkinMessage.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

// The program's own session bus; gnome-keyring joins it on demand and stays.
class SessionBus {
public:
    static SessionBus& Get() {
        static SessionBus bus;
        return bus;
    }
    bool Running() const { return !address_.isEmpty(); }
    bool KeyringRunning() const { return keyring_.state() == QProcess::Running; }
    // Starts the secret service once; false when it cannot run here.
    bool StartKeyring() {
        if (KeyringRunning())
            return true;
        if (!Running())
            return false;
        // Its keyrings in the bus's folder, which outlives every test's home.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path());
        env.insert("XDG_DATA_HOME", home_.path() + "/data");
        keyring_.setProcessEnvironment(env);
        keyring_.start("gnome-keyring-daemon",
                       {"--foreground", "--components=secrets", "--unlock"});
        if (!keyring_.waitForStarted(5000))
            return false;
        keyring_.write("test-password"); // the login keyring, made and unlocked
        keyring_.closeWriteChannel();
        QDBusConnection bus = QDBusConnection::connectToBus(address_, "keyring-watch");
        return WaitUntil(
            [&] { return bus.interface()->isServiceRegistered("org.freedesktop.secrets"); }, 10000);
    }
    ~SessionBus() {
        for (QProcess* p : {&keyring_, &daemon_}) {
            p->terminate();
            p->waitForFinished(3000);
        }
    }

private:
    SessionBus() {
        // Sockets and the engines' rests stay in a folder of the program's.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        QFile::setPermissions(runtime_.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // No service folders: nothing is started on demand, so a secret
        // service runs only when a test starts one.
        const QString config = runtime_.filePath("bus.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write("<busconfig><type>session</type><listen>unix:tmpdir=" +
                       QFile::encodeName(runtime_.path()) +
                       "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                       "</busconfig>\n") < 0)
            return;
        file.close();
        daemon_.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000))
            return;
        address_ = QString::fromUtf8(daemon_.readLine().trimmed());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    }
    QTemporaryDir home_, runtime_;
    QProcess daemon_, keyring_;
    QString address_;
};

QFile::Permissions ModeOf(const QString& path) {
    return QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

std::optional<KeyPlace> WriteKeys(const QList<QPair<const TextPreference*, QString>>& keys) {
    KeyKeeper keeper;
    std::optional<KeyPlace> place;
    keeper.Write(keys, [&](KeyPlace p) { place = p; });
    WaitUntil([&] { return place.has_value(); });
    return place;
}

std::optional<QPair<KeyKeeper::Keys, bool>> ReadKeys() {
    KeyKeeper keeper;
    std::optional<QPair<KeyKeeper::Keys, bool>> read;
    keeper.Read(
        {&pref::LibreTranslateKey, &pref::LlmKey},
        [&](const KeyKeeper::Keys& keys, bool fromService) { read.emplace(keys, fromService); });
    WaitUntil([&] { return read.has_value(); });
    return read;
}

QString FileValue(const TextPreference& value) {
    return Preferences::Open()->Read(value);
}

class EngineDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SessionBus::Get().Running()) << "dbus-daemon is needed (scripts/deps.sh)";
        for (const char* name : {"QUILLMATE_TRANSLATE_ENGINES", "QUILLMATE_LIBRETRANSLATE_URL",
                                 "QUILLMATE_LIBRETRANSLATE_KEY", "QUILLMATE_LLM_URL",
                                 "QUILLMATE_LLM_MODEL", "QUILLMATE_LLM_KEY"})
            env.Unset(name);
        standIn.PointEndpointsHere();
        TbsSkinMessage::SetAnswerer([this](const QString& text, int, int) {
            messages << text;
            return int(TbsSkinMessage::mrOk);
        });
    }
    void TearDown() override {
        form.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
    }
    void NeedNoKeyring() {
        if (SessionBus::Get().KeyringRunning())
            GTEST_SKIP() << "a secret service already runs in this process";
    }
    void NeedKeyring() {
        if (!SessionBus::Get().StartKeyring())
            GTEST_SKIP() << "gnome-keyring-daemon is needed (scripts/deps.sh)";
    }
    void Open() {
        form = std::make_unique<TEngineSettingsForm>();
        form->show();
    }
    TEngineSettingsForm::EngineRow Row(const QString& name) const {
        for (const auto& row : form->Rows)
            if (row.name == name)
                return row;
        return {};
    }
    int IndexOf(const QString& name) const { return form->Order().indexOf(name); }
    // Saves and waits for the keys, if any, to be kept.
    void Save() {
        int saved = 0;
        form->OnSaved = [&] { ++saved; };
        form->SaveButton->click();
        ASSERT_TRUE(WaitUntil([&] { return saved == 1 && !form->Saving(); }));
    }

    TempHome home;
    EnvScope env;
    ServiceStandIn standIn;
    std::unique_ptr<TEngineSettingsForm> form;
    QStringList messages;
};

} // namespace

// Without a secret service the keys go into the settings file, which only the
// user can read from then on, and come back from there.
TEST_F(EngineDialog, KeysWithoutASecretServiceStayInAPrivateSettingsFile) {
    NeedNoKeyring();
    ASSERT_TRUE(Preferences::Open()->Write(pref::LlmUrl, "http://127.0.0.1:1/v1"));
    const QString file = SettingsKey::FilePath();
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                                    QFile::ReadGroup);

    EXPECT_EQ(WriteKeys({{&pref::LlmKey, " sk-1 "}, {&pref::LibreTranslateKey, ""}}),
              KeyPlace::SettingsFile);
    EXPECT_EQ(ModeOf(file), kOwnerOnly);
    EXPECT_EQ(FileValue(pref::LlmKey), "sk-1");
    // Later writes of other values keep the file private.
    ASSERT_TRUE(Preferences::Open()->Write(pref::LlmModel, "m"));
    EXPECT_EQ(ModeOf(file), kOwnerOnly);
    const auto read = ReadKeys();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->first.value("LlmKey"), "sk-1");
    EXPECT_EQ(read->first.value("LibreTranslateKey"), "");
    EXPECT_FALSE(read->second);
    EXPECT_EQ(KeyKeeper::ReadNow({&pref::LlmKey}).value("LlmKey"), "sk-1");

    EXPECT_EQ(WriteKeys({{&pref::LlmKey, ""}}), KeyPlace::NoKeys);
    EXPECT_EQ(FileValue(pref::LlmKey), "");
    EXPECT_EQ(FileValue(pref::LlmUrl), "http://127.0.0.1:1/v1");
}

TEST_F(EngineDialog, TheDialogSaysWhereKeysWentAndShowsThemOnlyWhenAsked) {
    NeedNoKeyring();
    Open();
    form->LlmUrl->setText("http://127.0.0.1:1/v1");
    form->LlmModel->setText("m");
    form->LlmKey->setFocus();
    QTest::keyClicks(form->LlmKey, "sk-2");
    Save();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    EXPECT_TRUE(form->KeyPlaceLabel->text().contains(QStringLiteral("设置文件")))
        << form->KeyPlaceLabel->text().toStdString();
    EXPECT_EQ(ModeOf(SettingsKey::FilePath()), kOwnerOnly);
    EXPECT_EQ(FileValue(pref::LlmKey), "sk-2");

    Open();
    ASSERT_TRUE(WaitUntil([&] { return form->LlmKey->text() == "sk-2"; }));
    EXPECT_EQ(form->LlmKey->echoMode(), QLineEdit::Password);
    EXPECT_NE(form->LlmKey->displayText(), "sk-2");
    form->ShowLlmKey->click();
    EXPECT_EQ(form->LlmKey->displayText(), "sk-2");
    form->ShowLlmKey->click();
    EXPECT_EQ(form->LlmKey->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(form->KeyPlaceLabel->text().contains(QStringLiteral("设置文件")));
}

// With a secret service the keys go there, none is left in the file, and an
// emptied key is removed.
TEST_F(EngineDialog, KeysGoToTheSecretServiceWhereOneRuns) {
    NeedKeyring();
    ASSERT_TRUE(Preferences::Open()->Write(pref::LibreTranslateKey, "old-in-file"));
    EXPECT_EQ(WriteKeys({{&pref::LibreTranslateKey, "lt-1"}, {&pref::LlmKey, "sk-3"}}),
              KeyPlace::SecretService);
    EXPECT_EQ(FileValue(pref::LibreTranslateKey), "");
    QFile file(SettingsKey::FilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("sk-3"));
    auto read = ReadKeys();
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->second);
    EXPECT_EQ(read->first.value("LibreTranslateKey"), "lt-1");
    EXPECT_EQ(read->first.value("LlmKey"), "sk-3");

    Open();
    ASSERT_TRUE(WaitUntil([&] { return form->LlmKey->text() == "sk-3"; }));
    EXPECT_TRUE(form->KeyPlaceLabel->text().contains(QStringLiteral("密钥服务")));
    form->LlmKey->setFocus();
    form->LlmKey->selectAll();
    QTest::keyClick(form->LlmKey, Qt::Key_Delete);
    Save();
    read = ReadKeys();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->first.value("LlmKey"), "");
    EXPECT_EQ(read->first.value("LibreTranslateKey"), "lt-1");
}

// The order and the switches are what is saved; a switched-on engine needs
// what it cannot do without, and nothing is saved before it has it.
TEST_F(EngineDialog, OrderSwitchesAndTheirChecks) {
    ASSERT_TRUE(Preferences::Open()->Write(pref::TranslateEngines, "bing,google"));
    Open();
    EXPECT_EQ(form->Order().mid(0, 2), (QStringList{"bing", "google"}));
    EXPECT_EQ(form->EnabledNames(), (QStringList{"bing", "google"}));
    EXPECT_FALSE(form->Rows.first().Up->isEnabled());
    EXPECT_FALSE(form->Rows.last().Down->isEnabled());

    Row("llm").Enabled->setChecked(true);
    Row("bing").Enabled->setChecked(false);
    while (IndexOf("llm") > 0)
        Row("llm").Up->click();
    Row("google").Down->click(); // below bing, which is off
    const struct Case {
        const char* name;
        QString url, model;
        QString message; // empty: saved
    } cases[] = {
        {"no address", "", "m", QStringLiteral("启用大模型需要填写它的地址")},
        {"not an address", "ftp://x", "m", QStringLiteral("大模型的地址无效：ftp://x")},
        {"no model", "http://127.0.0.1:1/v1", "", QStringLiteral("启用大模型需要填写模型的名称")},
        {"complete", "http://127.0.0.1:1/v1", "m", QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        form->LlmUrl->setText(c.url);
        form->LlmModel->setText(c.model);
        if (!c.message.isEmpty()) {
            form->SaveButton->click();
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages[0].contains(c.message)) << messages[0].toStdString();
            EXPECT_EQ(FileValue(pref::TranslateEngines), "bing,google");
            continue;
        }
        Save();
        EXPECT_TRUE(messages.isEmpty());
    }
    EXPECT_EQ(FileValue(pref::TranslateEngines), "llm,google");
    EXPECT_EQ(FileValue(pref::LlmUrl), "http://127.0.0.1:1/v1");
    EXPECT_EQ(FileValue(pref::LlmModel), "m");

    // None switched on: refused.
    for (const auto& row : form->Rows)
        row.Enabled->setChecked(false);
    messages.clear();
    form->SaveButton->click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(FileValue(pref::TranslateEngines), "llm,google");

    // Opened again: as saved, the switched-off ones after.
    Open();
    EXPECT_EQ(form->Order().mid(0, 2), (QStringList{"llm", "google"}));
    EXPECT_EQ(form->EnabledNames(), (QStringList{"llm", "google"}));
    EXPECT_EQ(form->LlmModel->text(), "m");
}

// Each row's test translates with that engine alone, whatever the others do.
TEST_F(EngineDialog, TheTestButtonShowsTheOutcomeAndTheTime) {
    standIn.SetAnswer(kTranslatePath, StandInReply("", 429));
    standIn.SetAnswer("/libre/translate", StandInReply(R"({"translatedText":"早上好"})"));
    Open();
    form->LibreUrl->setText(standIn.Url(u"/libre/"));
    const struct Case {
        const char* engine;
        QString outcome; // a pattern
    } cases[] = {
        {"google", QStringLiteral("^失败：拒绝（HTTP 429）（\\d+ 毫秒）$")},
        {"libretranslate", QStringLiteral("^成功：早上好（\\d+ 毫秒）$")},
        {"llm", QStringLiteral("^请先填写地址和名称$")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.engine);
        standIn.ClearRequests();
        const auto row = Row(c.engine);
        row.Test->click();
        ASSERT_TRUE(WaitUntil([&] { return row.Test->isEnabled(); }));
        EXPECT_TRUE(QRegularExpression(c.outcome).match(row.Outcome->text()).hasMatch())
            << row.Outcome->text().toStdString();
        EXPECT_EQ(standIn.RequestCount(), c.engine == QLatin1String("llm") ? 0 : 1);
    }
    // A test saves nothing.
    EXPECT_EQ(FileValue(pref::LibreTranslateUrl), "");
}
