#include "TempHome.h"
#include "base/Settings.h"
#include "feedback/InstallationId.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

TEST(InstallationId, MadeOnceAndKept) {
    TempHome home;
    const QByteArray first = InstallationIdentifier();
    EXPECT_TRUE(IsInstallationIdentifier(first)) << first.constData();
    EXPECT_EQ(InstallationIdentifier(), first);
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("InstallationID").toLatin1(), first);
}

TEST(InstallationId, DiffersBetweenInstallations) {
    QByteArray a, b;
    {
        TempHome home;
        a = InstallationIdentifier();
    }
    {
        TempHome home;
        b = InstallationIdentifier();
    }
    EXPECT_NE(a, b);
}

TEST(InstallationId, DamagedValueIsReplaced) {
    const struct {
        const char* name;
        std::function<void(SettingsKey&)> store;
    } cases[] = {
        {"not hex", [](SettingsKey& k) { k.WriteString("InstallationID", "my name & address"); }},
        {"too short", [](SettingsKey& k) { k.WriteString("InstallationID", "abc"); }},
        {"integer", [](SettingsKey& k) { k.WriteInteger("InstallationID", 7); }},
    };
    for (const auto& c : cases) {
        TempHome home;
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key);
        c.store(*key);
        const QByteArray id = InstallationIdentifier();
        EXPECT_TRUE(IsInstallationIdentifier(id)) << c.name;
        EXPECT_EQ(InstallationIdentifier(), id) << c.name;
    }
}

TEST(InstallationId, Shape) {
    EXPECT_TRUE(IsInstallationIdentifier("0123456789abcdef0123456789abcdef"));
    EXPECT_FALSE(IsInstallationIdentifier("0123456789ABCDEF0123456789abcdef"));
    EXPECT_FALSE(IsInstallationIdentifier("0123456789abcdef0123456789abcde"));
    EXPECT_FALSE(IsInstallationIdentifier("0123456789abcdef0123456789abcdeg"));
}

} // namespace
