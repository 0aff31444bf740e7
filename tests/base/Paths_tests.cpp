#include "TempHome.h"
#include "base/Endpoints.h"
#include "base/Paths.h"
#include "base/Tick.h"

#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(LocalAppDataPath, WhereTheDataFolderIs) {
    TempHome home;
    struct Case {
        const char* label;
        QByteArray dataDir; // QUILLMATE_DATA_DIR; null: unset
        QByteArray xdgData; // XDG_DATA_HOME; null: unset
        QString expected;
    } const cases[] = {
        {"override", home.path().toUtf8() + "/mine", "", home.path() + "/mine"},
        {"override trailing slash", home.path().toUtf8() + "/x//", "", home.path() + "/x"},
        {"xdg", QByteArray(), home.path().toUtf8() + "/xdg", home.path() + "/xdg/quillmate"},
        {"xdg relative ignored", QByteArray(), "rel", home.path() + "/.local/share/quillmate"},
        {"home", QByteArray(), QByteArray(), home.path() + "/.local/share/quillmate"},
        {"empty override ignored", "", QByteArray(), home.path() + "/.local/share/quillmate"},
        {"cannot be created", home.path().toUtf8() + "/file/sub", "", QString()},
    };
    QFile file(home.path() + "/file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    for (const auto& c : cases) {
        auto set = [](const char* name, const QByteArray& value) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        set("QUILLMATE_DATA_DIR", c.dataDir);
        set("XDG_DATA_HOME", c.xdgData);
        const QString path = LocalAppDataPath();
        EXPECT_EQ(path, c.expected) << c.label;
        if (!c.expected.isEmpty()) {
            EXPECT_TRUE(QFileInfo(path).isDir()) << c.label;
        }
    }
}

TEST(GetTickCount, CountsMilliseconds) {
    const uint32_t first = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const uint32_t elapsed = GetTickCount() - first; // wraps like the original counter
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 60000u);
}

TEST(Endpoints, DefaultsAndOverrides) {
    struct Case {
        Endpoint endpoint;
        const char* variable;
        const char* path;
    } const cases[] = {
        {Endpoint::Translate, "QUILLMATE_TRANSLATE_URL", "/translate_a/single"},
        {Endpoint::Ocr1, "QUILLMATE_OCR1_URL", "/ocrapi1"},
        {Endpoint::Ocr2, "QUILLMATE_OCR2_URL", "/getocr"},
        {Endpoint::Tts, "QUILLMATE_TTS_URL", "/gettts"},
        {Endpoint::Update, "QUILLMATE_UPDATE_URL", "/update/quillversion.txt"},
        {Endpoint::Feedback, "QUILLMATE_FEEDBACK_URL", "/feedback/addinfo.asp"},
        {Endpoint::Home, "QUILLMATE_HOME_URL", "/translation.htm"},
        {Endpoint::BingAuth, "QUILLMATE_BING_AUTH_URL", "/translate/auth"},
        {Endpoint::Bing, "QUILLMATE_BING_URL", "/translate"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(EndpointVariable(c.endpoint), c.variable);
        qunsetenv(c.variable);
        const QString url = EndpointUrl(c.endpoint);
        if (UsesLocalEngine(c.endpoint)) {
            // Recognition and speech go to the local engine unless a variable says otherwise.
            EXPECT_TRUE(url.isEmpty()) << c.variable;
            EXPECT_EQ("/" + LocalEnginePath(c.endpoint), c.path);
        } else {
            EXPECT_TRUE(url.startsWith("https://")) << c.variable;
            EXPECT_TRUE(url.endsWith(c.path)) << c.variable;
        }
        qputenv(c.variable, "http://127.0.0.1:9/x");
        EXPECT_EQ(EndpointUrl(c.endpoint), "http://127.0.0.1:9/x");
        EXPECT_FALSE(UsesLocalEngine(c.endpoint));
        qunsetenv(c.variable);
    }
}

} // namespace
