#include "siteweb/ProductPage.h"
#include "siteweb/Releases.h"
#include "siteweb/VersionFile.h"
#include "update/IniProfile.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace siteweb;
using sitestore::Release;

namespace {

TEST(Releases, VersionsOrderByTheirNumbers) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"8.10", "8.9", 1},  {"8.1", "8.1", 0},
        {"8", "8.0", -1},    {"8.0.1", "8.0", 1},
        {"10.0", "9.99", 1}, {"08.1", "8.1", 1},
        {"8.01", "8.1", 1},  {"123456789012345678901234567890", "9", 1}, // beyond any integer type
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(CompareVersions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
    }
    std::vector<Release> list = {
        {1, "8.9", "", "", "", 0}, {2, "8.10", "", "", "", 0}, {3, "8.2", "", "", "", 0}};
    ASSERT_TRUE(NewestRelease(list));
    EXPECT_EQ(NewestRelease(list)->version, "8.10");
    EXPECT_EQ(NewestRelease({}), nullptr);
}

TEST(Releases, WhatTheMakerGivesIsChecked) {
    const struct {
        const char* name;
        Release release;
        const char* error; // empty: accepted
    } cases[] = {
        {"plain", {0, "8.1", "https://x.test/d.htm", "有新版本", "a\r\nb", 0}, ""},
        {"letters in the version", {0, "8.1b", "https://x.test/", "", "", 0}, "the version"},
        {"empty version", {0, "", "https://x.test/", "", "", 0}, "the version"},
        {"double dot", {0, "8..1", "https://x.test/", "", "", 0}, "the version"},
        {"a local file", {0, "8.1", "file:///tmp/setup.sh", "", "", 0}, "the path"},
        {"a program", {0, "8.1", "/usr/bin/xterm", "", "", 0}, "the path"},
        {"no host", {0, "8.1", "https:///x", "", "", 0}, "the path"},
        {"blank in the path", {0, "8.1", "https://x.test/a b", "", "", 0}, "the path"},
        {"markup in the path", {0, "8.1", "https://x.test/\"><b>", "", "", 0}, "the path"},
        {"Chinese in the path", {0, "8.1", "https://x.test/下载", "", "", 0}, "the path"},
        {"two-line prompt", {0, "8.1", "https://x.test/", "a\nb", "", 0}, "the prompt"},
        {"prompt too long",
         {0, "8.1", "https://x.test/", std::string(2048, 'a'), "", 0},
         "the prompt"},
        {"prompt not UTF-8", {0, "8.1", "https://x.test/", "\xC4\xFA", "", 0}, "the prompt"},
        {"notes with a control byte",
         {0, "8.1", "https://x.test/", "", "a\x1b[31m", 0},
         "the notes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Release r = c.release;
        std::string error;
        EXPECT_EQ(CheckRelease(r, error), std::string(c.error).empty());
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    Release r{0, "8.1", "https://x.test/", "", "one\r\ntwo\r\n", 0};
    std::string error;
    ASSERT_TRUE(CheckRelease(r, error));
    EXPECT_EQ(r.notes, "one\ntwo\n");
}

TEST(VersionFile, TheProgramsReaderGetsBackExactlyWhatWasPublished) {
    const Release cases[] = {
        {0, "8.1", "https://www.quillmate.net/download.htm", "", "", 0},
        {0, "8.1", "https://x.test/a?b=c=d", "Quillmate 8.1 已发布，是否现在下载？", "", 0},
        {0, "9", "https://x.test/", "  leading and trailing blanks  ", "", 0},
        {0, "9", "https://x.test/", "\"quoted\"", "", 0},
        {0, "9", "https://x.test/", "'single'", "", 0},
        {0, "9", "https://x.test/", "\"half", "", 0},
        {0, "9", "https://x.test/", "; not a comment [nor a section]", "", 0},
        {0, "9", "https://x.test/", std::string(2047, 'a'), "", 0},
    };
    for (const auto& r : cases) {
        SCOPED_TRACE(r.prompt);
        const TIniProfile ini(QByteArray::fromStdString(VersionFileText(r)));
        EXPECT_EQ(ini.ReadString("information", "version").toStdString(), r.version);
        EXPECT_EQ(ini.ReadString("information", "Path").toStdString(), r.path);
        EXPECT_EQ(ini.ReadString("information", "NewVersionPrompt", "<none>").toStdString(),
                  r.prompt.empty() ? "<none>" : r.prompt);
    }
}

// tidy reports what HTML5 forbids; a missing escape shows up as broken markup.
void ExpectValidHtml(const std::string& html) {
    const QString tidy = QStandardPaths::findExecutable("tidy");
    if (tidy.isEmpty())
        GTEST_SKIP() << "tidy is not installed (scripts/deps.sh installs it)";
    QProcess p;
    p.start(tidy, {"-q", "-e", "-utf8", "--show-warnings", "yes"});
    ASSERT_TRUE(p.waitForStarted());
    p.write(QByteArray::fromStdString(html));
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

TEST(ProductPage, ShowsTheNewestReleaseAndIsValidHtml) {
    const std::vector<Release> releases = {
        {1, "8.0", "https://x.test/8.0", "", "first", 1'700'000'000'000},
        {2, "8.10", "https://x.test/d?a=1&b='2'", "",
         "修复 <script>alert(1)</script>\n\n- \"快\" & 'better'", 1'715'000'000'000},
        {3, "8.9", "https://x.test/8.9", "", "", 1'710'000'000'000},
    };
    const std::string html = ProductPageHtml(releases);
    EXPECT_NE(html.find("最新版本 8.10"), std::string::npos);
    EXPECT_NE(html.find("href=\"https://x.test/d?a=1&amp;b=&#39;2&#39;\""), std::string::npos);
    EXPECT_NE(html.find("2024-05-06"), std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("name=\"viewport\""), std::string::npos);
    // Earlier versions follow, newest first.
    EXPECT_LT(html.find("https://x.test/8.9"), html.find("https://x.test/8.0"));
    ExpectValidHtml(html);
    ExpectValidHtml(ProductPageHtml({}));
}

} // namespace
