// The translate command end to end: the real main window, offscreen, against
// the loopback stand-in. Checks the bytes that left the program, what the
// boxes show, and the cursor and button around every message.
#include "EnvScope.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "app/Main.h"
#include "enginesettings/EngineSettingsForm.h"
#include "http/TransferSettings.h"
#include "toolkit/CursorTable.h"
#include "translate/TranslateService.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kWorkedAnswer =
    R"([[["早上好\r\n","Good morning\r\n",null,null,1],["谢谢","Thank you",null,null,1],[null,null,"Zaoshang hao\r\nXiexie"]],null,"en"])";
const QByteArray kWorkedBody = "client=gtx&dt=bd&dt=ex&dt=ld&dt=md&dt=qca&dt=rw&dt=rm&dt=ss&dt=t&"
                               "dt=at&&sl=en&tl=zh-CN&q=Good%20morning%0D%0AThank%20you";
const QString kSameLanguage = QStringLiteral("   原 文 语 言 不 能 与 译 文 语 言 相 同 ！");
const QString kNoSourceText = QStringLiteral("   请 输 入 要 翻 译 的 原 文 文 本 ！");
const QString kTimedOut = QStringLiteral("   连 接 服 务 器 超 时 ，请 稍 后 重 试 。");
const QString kServerFailed = QStringLiteral("  连 接 的 服 务 器 出 现 故 障 ！请 稍 后 再 试！");

struct Message {
    QString text;
    int kind;
    int buttons;
    // The window's state while the box is open.
    int cursor;
    bool buttonEnabled;
};

StandInAnswer Answer(const QByteArray& body, int status = 200) {
    StandInAnswer a;
    a.status = status;
    a.headers = {{"Content-Type", "text/html; charset=UTF-8"}};
    a.body = body;
    return a;
}

// A local socket that takes connections and never says a word.
struct MuteSocket {
    explicit MuteSocket(QString p) : path(std::move(p)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (fd < 0 || size_t(name.size()) >= sizeof(address.sun_path))
            return;
        std::copy(name.begin(), name.end(), address.sun_path);
        listening = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                    ::listen(fd, 16) == 0;
    }
    ~MuteSocket() { Close(); }
    bool Listening() const { return listening; }
    void Close() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    QString path;
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    bool listening = false;
};

class TranslateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        standIn.PointEndpointsHere();
        // The engine the program always had, alone.
        env.Set("QUILLMATE_TRANSLATE_ENGINES", "google");
        // Never the user's keyring: a bus nobody listens on.
        env.Set("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + QFile::encodeName(runtime.path()) + "/no-bus");
        TbsSkinMessage::SetAnswerer([this](const QString& text, int kind, int buttons) {
            messages.append(
                {text, kind, buttons, ScreenCursor(), form->bsSkinButton7->isEnabled()});
            return int(TbsSkinMessage::mrOk);
        });
        form = std::make_unique<TForm1>();
        form->show();
        Choose("英语", "简体中文");
    }
    void TearDown() override {
        form.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
        SetScreenCursor(crDefault);
    }

    void Choose(const QString& source, const QString& target) {
        form->SourceComboBox->setCurrentIndex(form->SourceComboBox->findText(source));
        form->TargetComboBox->setCurrentIndex(form->TargetComboBox->findText(target));
    }
    bool Idle() const {
        return form->bsSkinButton7->isEnabled() && !form->Translation().IsBusy() &&
               ScreenCursor() == crDefault;
    }
    bool Busy() const {
        return !form->bsSkinButton7->isEnabled() && ScreenCursor() == crAnimatedBusy;
    }
    // Types a key into the source box as the keyboard would.
    void Key(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(form->TntMemo1, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(form->TntMemo1, &release);
    }
    // Translates and waits for the window to be idle again.
    void TranslateAndWait() {
        form->bsSkinButton7->click();
        ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
    }

    TempHome home;
    PrivateRuntime runtime;
    EnvScope env;
    ServiceStandIn standIn;
    std::unique_ptr<TForm1> form;
    QList<Message> messages;
};

TEST_F(TranslateWindow, WorkedExampleByteForByte) {
    EXPECT_EQ(form->Translation().Transfer().transferBufferSize, 40960);
    standIn.SetAnswer(kTranslatePath, Answer(kWorkedAnswer));
    form->TntMemo1->setPlainText("Good morning\nThank you");
    form->TntMemo2->setPlainText("old translation");

    form->bsSkinButton7->click();
    EXPECT_TRUE(Busy());
    EXPECT_TRUE(form->TntMemo2->toPlainText().isEmpty());
    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));

    ASSERT_EQ(standIn.RequestCount(), 1);
    const StandInRequest r = standIn.Requests().at(0);
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/translate_a/single");
    EXPECT_EQ(r.body, kWorkedBody);
    EXPECT_EQ(r.header("User-Agent"),
              "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; CIBA)");
    EXPECT_EQ(r.header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.header("Accept"), "text/html, */*");
    EXPECT_EQ(form->TntMemo2->TextCRLF(), QStringLiteral("早上好\r\n谢谢\r\n"));
    EXPECT_TRUE(messages.isEmpty());
}

// However the service frames a good answer, the box shows the same lines.
TEST_F(TranslateWindow, ShowsTheLinesOfEveryWellFormedAnswer) {
    struct Row {
        const char* name;
        StandInAnswer answer;
        QString shown;
    };
    StandInAnswer chunked = Answer(kWorkedAnswer);
    chunked.chunkSize = 7;
    StandInAnswer noLength = Answer(kWorkedAnswer);
    noLength.contentLength = false;
    StandInAnswer slow = Answer(kWorkedAnswer);
    slow.headerDelayMs = 150;
    slow.bodyDelayMs = 150;
    const Row rows[] = {
        {"chunked", chunked, QStringLiteral("早上好\r\n谢谢\r\n")},
        {"no length", noLength, QStringLiteral("早上好\r\n谢谢\r\n")},
        {"slow", slow, QStringLiteral("早上好\r\n谢谢\r\n")},
        {"line feeds between entries",
         Answer("[[\n[\"one\\r\\ntwo\",\"x\"],\n[\"three\",\"y\"]\n],null]"),
         QStringLiteral("one\r\ntwo\r\nthree\r\n")},
        {"character outside the BMP", Answer("[[[\"\xF0\x9F\x98\x80\",\"x\"],[]]]"),
         QString::fromUtf8("\xF0\x9F\x98\x80\r\n")},
    };
    form->TntMemo1->setPlainText("text");
    for (const Row& row : rows) {
        standIn.SetAnswer(kTranslatePath, row.answer);
        TranslateAndWait();
        EXPECT_EQ(form->TntMemo2->TextCRLF(), row.shown) << row.name;
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(TranslateWindow, EveryFailureShowsItsMessageThenLeavesTheWindowIdle) {
    struct Row {
        const char* name;
        StandInAnswer answer;
        QString message; // empty: no message
    };
    StandInAnswer shortBody = Answer("[[[\"cut", 200);
    shortBody.headers.emplaceBack("Content-Length", "100");
    StandInAnswer longBody = Answer(kWorkedAnswer, 200);
    longBody.headers.emplaceBack("Content-Length", "10");
    longBody.contentLength = false;
    StandInAnswer hangUp;
    hangUp.hangUp = true;
    const Row rows[] = {
        {"answer shorter than announced", shortBody, kTimedOut},
        {"server error with a translation in its body", Answer(kWorkedAnswer, 500), kTimedOut},
        {"not found", Answer("no such page", 404), kTimedOut},
        {"no status at all", hangUp, kServerFailed},
        {"answer without any recognisable entry", Answer("<html>busy</html>"), QString()},
        {"empty answer", Answer(""), QString()},
    };
    form->TntMemo1->setPlainText("Good morning");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        messages.clear();
        form->TntMemo2->setPlainText("old translation");
        standIn.SetAnswer(kTranslatePath, row.answer);
        TranslateAndWait();
        if (row.message.isEmpty()) {
            EXPECT_TRUE(messages.isEmpty());
        } else {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_EQ(messages[0].text, row.message);
            EXPECT_EQ(messages[0].kind, 1);
            EXPECT_EQ(messages[0].buttons, 4);
            EXPECT_EQ(messages[0].cursor, crAnimatedBusy);
            EXPECT_FALSE(messages[0].buttonEnabled);
        }
        EXPECT_TRUE(form->TntMemo2->toPlainText().isEmpty());
    }
}

TEST_F(TranslateWindow, NoServerListeningIsAFailedHost) {
    {
        ServiceStandIn gone;
        qputenv("QUILLMATE_TRANSLATE_URL", gone.Url(u"/translate_a/single").toUtf8());
    }
    // The window reads the engines' addresses when it starts.
    form = std::make_unique<TForm1>();
    form->show();
    form->TntMemo1->setPlainText("Good morning");
    TranslateAndWait();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, kServerFailed);
    EXPECT_EQ(messages[0].cursor, crAnimatedBusy);
}

// A busy first engine hands over within one click: the button stays off
// until the second has answered, the label names the one that did, and the
// next translation skips the resting engine.
TEST_F(TranslateWindow, ABusyEngineHandsOverAndTheLabelNamesWhoAnswered) {
    env.Set("QUILLMATE_TRANSLATE_ENGINES", "google,libretranslate");
    env.Set("QUILLMATE_LIBRETRANSLATE_URL", standIn.Url(u"/libre/").toUtf8());
    env.Set("QUILLMATE_LIBRETRANSLATE_KEY", "k");
    form = std::make_unique<TForm1>();
    form->show();
    Choose("英语", "简体中文");
    QLabel* label = nullptr;
    for (QLabel* l : form->findChildren<QLabel*>())
        if (l->accessibleName() == QStringLiteral("翻译引擎"))
            label = l;
    ASSERT_TRUE(label);
    standIn.SetAnswer(kTranslatePath, Answer("", 429));
    StandInAnswer libre = Answer(R"({"translatedText":"早上好"})");
    libre.headerDelayMs = 300;
    standIn.SetAnswer("/libre/translate", libre);
    form->TntMemo1->setPlainText("Good morning");

    form->bsSkinButton7->click();
    ASSERT_TRUE(WaitUntil([this] { return standIn.RequestCount() == 2; }));
    EXPECT_TRUE(Busy());
    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(form->TntMemo2->TextCRLF(), QStringLiteral("早上好\r\n"));
    EXPECT_EQ(label->text(), QStringLiteral("LibreTranslate"));
    EXPECT_EQ(standIn.Requests().at(1).path(), "/libre/translate");

    standIn.ClearRequests();
    TranslateAndWait();
    ASSERT_EQ(standIn.RequestCount(), 1);
    EXPECT_EQ(standIn.Requests().at(0).path(), "/libre/translate");
    EXPECT_EQ(label->text(), QStringLiteral("LibreTranslate"));

    // Nobody left: the last failure's message, and no name.
    standIn.SetAnswer("/libre/translate", Answer("", 500));
    TranslateAndWait();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, kTimedOut);
    EXPECT_FALSE(messages[0].buttonEnabled);
    EXPECT_TRUE(label->text().isEmpty());
    EXPECT_TRUE(form->TntMemo2->toPlainText().isEmpty());
}

// A secret service that never answers (a keyring waiting to be unlocked)
// delays a translation that needs a key, but never holds it.
TEST_F(TranslateWindow, AKeyringThatNeverAnswersDoesNotHoldTheTranslation) {
    MuteSocket mute(runtime.path() + "/mute-bus");
    ASSERT_TRUE(mute.Listening());
    env.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(mute.path));
    env.Set("QUILLMATE_TRANSLATE_ENGINES", "libretranslate");
    env.Set("QUILLMATE_LIBRETRANSLATE_URL", standIn.Url(u"/libre/").toUtf8());
    env.Unset("QUILLMATE_LIBRETRANSLATE_KEY");
    form = std::make_unique<TForm1>();
    form->show();
    Choose("英语", "简体中文");
    standIn.SetAnswer("/libre/translate", Answer(R"({"translatedText":"早上好"})"));
    form->TntMemo1->setPlainText("Good morning");

    form->bsSkinButton7->click();
    EXPECT_TRUE(Busy());
    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(form->TntMemo2->TextCRLF(), QStringLiteral("早上好\r\n"));
    ASSERT_EQ(standIn.RequestCount(), 1);
    EXPECT_FALSE(standIn.Requests().at(0).body.contains("api_key"));
    // The lookup ends when the bus goes.
    mute.Close();
}

// The caption's menu opens the engines' dialog; what it saves is the chain
// the window translates with from then on.
TEST_F(TranslateWindow, TheCaptionsMenuOpensTheEnginesDialogAndItsChainIsUsed) {
    env.Unset("QUILLMATE_TRANSLATE_ENGINES");
    form = std::make_unique<TForm1>();
    form->show();
    Choose("英语", "简体中文");
    bool saved = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = form->findChild<TEngineSettingsForm*>();
        ASSERT_TRUE(dialog);
        for (const auto& row : dialog->Rows)
            row.Enabled->setChecked(row.name == QLatin1String("libretranslate"));
        dialog->LibreUrl->setText(standIn.Url(u"/libre/"));
        dialog->OnSaved = [&saved, onSaved = dialog->OnSaved] {
            saved = true;
            onSaved();
        };
        dialog->SaveButton->click();
        dialog->CloseButton->click();
    });
    form->CaptionEngines->trigger();
    EXPECT_TRUE(saved);
    ASSERT_TRUE(WaitUntil([this] {
        const auto& engines = form->Translation().Config().engines;
        return engines.size() == 1 && engines[0].name == QLatin1String("libretranslate");
    }));
    standIn.SetAnswer("/libre/translate", Answer(R"({"translatedText":"早上好"})"));
    form->TntMemo1->setPlainText("Good morning");
    TranslateAndWait();
    EXPECT_EQ(form->TntMemo2->TextCRLF(), QStringLiteral("早上好\r\n"));
    EXPECT_EQ(form->EngineLabel->text(), QStringLiteral("LibreTranslate"));
}

TEST_F(TranslateWindow, AnExpiredWaitShowsTheTimeoutMessage) {
    // The window never waits for its transfer (and the animated busy cursor
    // keeps waking a waiting caller anyway), so the service's report of an
    // expired wait is handed to the window by hand on a running translation.
    EXPECT_FALSE(form->Translation().Transfer().waitThread);
    StandInAnswer never;
    never.neverAnswer = true;
    standIn.SetAnswer(kTranslatePath, never);
    form->TntMemo1->setPlainText("Good morning");
    form->bsSkinButton7->click();
    ASSERT_TRUE(standIn.WaitForRequests(1, 5000));
    form->TranslationFinished({TranslateOutcome::WaitTimedOut, {}});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, kTimedOut);
    EXPECT_EQ(messages[0].cursor, crAnimatedBusy);
    EXPECT_FALSE(messages[0].buttonEnabled);
    EXPECT_TRUE(form->bsSkinButton7->isEnabled());
    EXPECT_EQ(ScreenCursor(), crDefault);
}

TEST_F(TranslateWindow, RefusedInputOrTheBodyItSends) {
    struct Row {
        const char* name;
        QString source; // display text; empty: no selection
        QString target;
        QString text;
        QString message; // a refusal, or
        QByteArray tail; // the body after the fixed text
    };
    const Row rows[] = {
        {"same language", "英语", "英语", "Good morning", kSameLanguage, {}},
        {"empty source box", "英语", "简体中文", "", kNoSourceText, {}},
        {"blanks and breaks are text", "英语", "简体中文", " \n", {}, "en&tl=zh-CN&q=%20%0D%0A"},
        {"automatic detection", "自动检测", "简体中文", "x", {}, "auto&tl=zh-CN&q=x"},
        {"no source selection", "", "日语", "x", {}, "&tl=ja&q=x"},
        {"outside the BMP",
         "英语",
         "简体中文",
         QString::fromUtf8("\xF0\x9F\x98\x80"),
         {},
         "en&tl=zh-CN&q=%ED%A0%BD%ED%B8%80"},
    };
    standIn.SetAnswer(kTranslatePath, Answer(kWorkedAnswer));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        messages.clear();
        standIn.ClearRequests();
        Choose(row.source, row.target);
        form->TntMemo1->setPlainText(row.text);
        form->TntMemo2->setPlainText("kept");
        form->bsSkinButton7->click();
        if (!row.message.isEmpty()) {
            ASSERT_EQ(messages.size(), 1);
            EXPECT_EQ(messages[0].text, row.message);
            EXPECT_EQ(messages[0].kind, 1);
            EXPECT_EQ(messages[0].buttons, 4);
            EXPECT_TRUE(Idle());
            EXPECT_EQ(form->TntMemo2->toPlainText(), "kept");
            EXPECT_FALSE(standIn.WaitForRequests(1, 200));
        } else {
            ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
            ASSERT_EQ(standIn.RequestCount(), 1);
            EXPECT_EQ(
                standIn.Requests().at(0).body,
                "client=gtx&dt=bd&dt=ex&dt=ld&dt=md&dt=qca&dt=rw&dt=rm&dt=ss&dt=t&dt=at&&sl=" +
                    row.tail);
        }
    }
}

TEST_F(TranslateWindow, ShortcutsTranslateWithoutLeavingALineBreak) {
    struct Row {
        const char* name;
        Qt::KeyboardModifiers modifiers;
        int key;
        int requests;
        QString left; // the source box afterwards
    };
    const Row rows[] = {
        {"Ctrl+Enter", Qt::ControlModifier, Qt::Key_Return, 1, "ab"},
        {"Shift+Enter", Qt::ShiftModifier, Qt::Key_Return, 1, "ab"},
        {"Ctrl+Enter on the keypad", Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter, 1,
         "ab"},
        // The second run finds the first one busy.
        {"Ctrl+Shift+Enter", Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Return, 1, "ab"},
        {"Enter alone", Qt::NoModifier, Qt::Key_Return, 0, "ab\n"},
    };
    StandInAnswer slow = Answer(kWorkedAnswer);
    slow.headerDelayMs = 100;
    standIn.SetAnswer(kTranslatePath, slow);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        standIn.ClearRequests();
        form->TntMemo1->setPlainText("ab");
        form->TntMemo1->moveCursor(QTextCursor::End);
        Key(row.key, row.modifiers, "\r");
        if (row.requests > 0) {
            EXPECT_TRUE(Busy());
            ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
            EXPECT_EQ(form->TntMemo2->TextCRLF(), QStringLiteral("早上好\r\n谢谢\r\n"));
        }
        EXPECT_EQ(standIn.WaitForRequests(1, row.requests ? 5000 : 200), row.requests > 0);
        EXPECT_EQ(standIn.RequestCount(), row.requests);
        EXPECT_EQ(form->TntMemo1->toPlainText(), row.left);
    }
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(TranslateWindow, CtrlShiftEnterOnAnEmptyBoxAsksTwice) {
    form->TntMemo1->clear();
    Key(Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier, "\r");
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].text, kNoSourceText);
    EXPECT_EQ(messages[1].text, kNoSourceText);
    EXPECT_TRUE(form->TntMemo1->toPlainText().isEmpty());
    EXPECT_TRUE(Idle());
}

TEST_F(TranslateWindow, ARunningTranslationIsNeverStartedTwice) {
    StandInAnswer slow = Answer(kWorkedAnswer);
    slow.headerDelayMs = 400;
    standIn.SetAnswer(kTranslatePath, slow);
    form->TntMemo1->setPlainText("Good morning\nThank you");

    form->bsSkinButton7->click();
    ASSERT_TRUE(standIn.WaitForRequests(1, 5000));
    // The disabled button ignores a second press...
    form->bsSkinButton7->click();
    // ...while the shortcut runs the command: it empties the box again and
    // finds the transfer busy.
    form->TntMemo2->setPlainText("stale");
    Key(Qt::Key_Return, Qt::ControlModifier, "\r");
    EXPECT_TRUE(form->TntMemo2->toPlainText().isEmpty());
    EXPECT_TRUE(Busy());

    ASSERT_TRUE(WaitUntil([this] { return Idle(); }));
    EXPECT_EQ(form->TntMemo2->TextCRLF(), QStringLiteral("早上好\r\n谢谢\r\n"));
    EXPECT_FALSE(standIn.WaitForRequests(2, 300));
    EXPECT_TRUE(messages.isEmpty());
}

// A hostile answer of megabytes would freeze the window while the box lays it
// out: the box gets the whole lines that fit in 1,048,576 UTF-16 units.
TEST_F(TranslateWindow, AHugeAnswerIsCutAfterTheLastLineThatFits) {
    constexpr qsizetype kBoxLimit = 1 << 20;
    QByteArray body = "[[";
    QString full;
    for (int i = 0; i < 40000; ++i) {
        const QByteArray line = QByteArray::number(i).rightJustified(8, '0') + QByteArray(90, 'w');
        body += "[\"" + line + "\",\"x\"],";
        full += QString::fromLatin1(line) + QStringLiteral("\r\n");
    }
    body += "[null]],null,\"en\"]";
    ASSERT_GT(body.size(), 4 << 20);
    standIn.SetAnswer(kTranslatePath, Answer(body));
    form->TntMemo1->setPlainText("Good morning");
    TranslateAndWait();
    const QString shown = form->TntMemo2->TextCRLF();
    const QString expected = full.left(full.lastIndexOf('\n', kBoxLimit - 1) + 1);
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(TranslateWindow, TheAgentIsReplacedBeforeEveryRequest) {
    standIn.SetAnswer(kTranslatePath, Answer(kWorkedAnswer));
    EXPECT_EQ(form->Translation().Transfer().agent,
              "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    form->TntMemo1->setPlainText("x");
    TranslateAndWait();
    TranslateAndWait();
    ASSERT_EQ(standIn.RequestCount(), 2);
    for (const StandInRequest& r : standIn.Requests())
        EXPECT_EQ(r.header("User-Agent"),
                  "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; CIBA)");
}

} // namespace
