#include "platform/ShellOpen.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

TEST(ShellOpen, OnlyWebAddressesCount) {
    const struct {
        const char* address;
        bool web;
    } cases[] = {
        {"http://www.example.test/download.htm", true},
        {"HTTPS://example.test", true},
        {"  http://example.test/a b  ", true},
        {"", false},
        {"/usr/bin/xterm", false},
        {"file:///home/user/setup.sh", false},
        {"C:\\setup.exe", false},
        {"ftp://example.test/file", false},
        {"javascript:alert(1)", false},
        {"http://", false},
        {"http:relative", false},
        {"www.example.test", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsWebAddress(c.address), c.web) << c.address;
}

TEST(ShellOpen, HookReceivesTheAddress) {
    QStringList opened;
    SetShellOpenHook([&](const QString& a) { opened << a; });
    ShellOpen("http://example.test/");
    SetShellOpenHook(nullptr);
    EXPECT_EQ(opened, QStringList{"http://example.test/"});
}

} // namespace
