// Global shortcuts on a real X server (QUILL_X_DISPLAY), in a child process:
// the primary selection plus the shortcut sends the window's request, and a
// key another program holds is named once.
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "XChild.h"
#include "app/Main.h"
#include "translate/LanguageCatalog.h"
#include "translate/TranslationRequest.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QWindow>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace {

// Holds Ctrl+Alt+O on the root window as another program would.
class OtherProgramsGrab {
public:
    explicit OtherProgramsGrab(const QByteArray& display) : c_(xcb_connect(display, nullptr)) {
        const xcb_setup_t* setup = xcb_get_setup(c_);
        root_ = xcb_setup_roots_iterator(setup).data->root;
        auto* reply = xcb_get_keyboard_mapping_reply(
            c_,
            xcb_get_keyboard_mapping(c_, setup->min_keycode,
                                     uint8_t(setup->max_keycode - setup->min_keycode + 1)),
            nullptr);
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
        for (int i = 0; i <= setup->max_keycode - setup->min_keycode && !code_; ++i)
            if (syms[i * reply->keysyms_per_keycode] == 'o')
                code_ = uint8_t(setup->min_keycode + i);
        free(reply);
        xcb_grab_key(c_, 1, root_, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, code_,
                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); // round trip
    }
    ~OtherProgramsGrab() { xcb_disconnect(c_); }

private:
    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    uint8_t code_ = 0;
};

} // namespace

TEST(DesktopX11, TheShortcutTranslatesTheSelectionAndATakenKeyIsNamed) {
    const QByteArray display = qgetenv("QUILL_X_DISPLAY");
    QUILL_RUN_IN_X_CHILD();
    TempHome home;
    ServiceStandIn standIn;
    standIn.PointEndpointsHere();
    StandInAnswer answer;
    answer.body = R"([[["早上好","Good morning",null,null,1],[null,null,"x"]],null,"en"])";
    standIn.SetAnswer(kTranslatePath, answer);
    QStringList messages;
    TbsSkinMessage::SetAnswerer([&](const QString& text, int, int) {
        messages << text;
        return int(TbsSkinMessage::mrOk);
    });

    OtherProgramsGrab other(display);
    TForm1 form;
    form.show();
    form.showMinimized();
    form.PrepareDesktopReach();
    EXPECT_FALSE(form.windowHandle()->icon().isNull());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("Ctrl+Alt+O")) << messages[0].toStdString();
    EXPECT_FALSE(messages[0].contains("Ctrl+Alt+E"));

    QGuiApplication::clipboard()->setText("Good morning", QClipboard::Selection);
    QProcess::execute("xdotool", {"key", "ctrl+alt+e"});
    // The answer in the box: the shortcut ran the whole translate command.
    ASSERT_TRUE(WaitUntil(
        [&] { return form.TntMemo2->toPlainText() == QStringLiteral("早上好\n"); }, 20000))
        << form.TntMemo2->toPlainText().toStdString();
    ASSERT_EQ(standIn.RequestCount(), 1);
    EXPECT_EQ(standIn.Requests().front().body,
              BuildTranslationBody(SourceLangCode(form.SourceComboBox->currentIndex()),
                                   TargetLangCode(form.TargetComboBox->currentIndex()),
                                   u"Good morning"));
    EXPECT_EQ(form.TntMemo1->toPlainText(), "Good morning");
    EXPECT_FALSE(form.isMinimized());
    EXPECT_EQ(messages.size(), 1);
    TbsSkinMessage::SetAnswerer(nullptr);
}
