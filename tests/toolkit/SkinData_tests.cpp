#include "toolkit/SkinData.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QSet>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

QByteArray Deflate(const QByteArray& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()), 9);
    out.resize(qsizetype(size));
    return out;
}

TEST(SkinData, ThreeDistinctCompleteSkins) {
    ASSERT_EQ(TbsCompressedStoredSkin::StoredSkinCount(), 3);
    // Every control the program uses must be styled by every skin.
    const char* selectors[] = {"#bsCaptionBar",
                               "#bsCaptionClose",
                               "QPushButton",
                               "QPushButton:default",
                               "QComboBox",
                               "QAbstractItemView",
                               "QPlainTextEdit",
                               "QLineEdit",
                               "QScrollBar:vertical",
                               "QMenu",
                               "QMenu::item:selected",
                               "#bsSkinMessageDialog",
                               "QProgressBar::chunk",
                               "#ListBoxCaption",
                               "#Image1",
                               "QToolTip"};
    QSet<QString> sheets;
    QSet<QString> names;
    for (int i = 0; i < 3; ++i) {
        TbsCompressedStoredSkin skin(i);
        const QByteArray packed = skin.CompressedData();
        const QString sheet = skin.StyleSheet();
        ASSERT_FALSE(sheet.isEmpty()) << i;
        // Stored compressed, not as text.
        EXPECT_LT(packed.size(), sheet.toUtf8().size() / 2) << i;
        EXPECT_FALSE(packed.contains("QPushButton")) << i;
        for (const char* selector : selectors)
            EXPECT_TRUE(sheet.contains(QLatin1String(selector))) << i << " lacks " << selector;
        sheets.insert(sheet);
        names.insert(skin.Name());
    }
    EXPECT_EQ(sheets.size(), 3);
    EXPECT_EQ(names.size(), 3);
    EXPECT_TRUE(TbsCompressedStoredSkin(3).StyleSheet().isEmpty());
    EXPECT_TRUE(TbsCompressedStoredSkin(-1).CompressedData().isEmpty());
}

TEST(SkinData, InflateRejectsDamagedStreams) {
    QByteArray raw(100000, '\0');
    QRandomGenerator rng(7);
    for (char& c : raw)
        c = char('a' + rng.bounded(6));
    const QByteArray packed = Deflate(raw);
    ASSERT_EQ(InflateZlib(packed), raw);

    QByteArray flipped = packed;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x55);
    QByteArray badHeader = packed;
    badHeader[0] = 0;
    const QByteArray cases[] = {QByteArray(),
                                packed.left(packed.size() - 1),
                                packed.left(packed.size() / 2),
                                packed.left(2),
                                flipped,
                                badHeader,
                                QByteArray("not zlib at all")};
    for (const QByteArray& bad : cases)
        EXPECT_TRUE(InflateZlib(bad).isEmpty()) << bad.size();
    // A stream larger than the limit is refused rather than grown without end.
    EXPECT_TRUE(InflateZlib(packed, 1000).isEmpty());
    EXPECT_EQ(InflateZlib(packed, raw.size()), raw);
}

TEST(SkinData, SwitchAppliesToTheApplication) {
    TbsSkinData data;
    TbsCompressedStoredSkin one(0), two(1);
    int changes = 0;
    data.OnSkinChanged = [&](QObject* sender) {
        EXPECT_EQ(sender, &data);
        ++changes;
    };
    ASSERT_TRUE(data.SetCompressedStoredSkin(&two));
    EXPECT_EQ(qApp->styleSheet(), two.StyleSheet());
    EXPECT_EQ(data.CompressedStoredSkin(), &two);
    ASSERT_TRUE(data.SetCompressedStoredSkin(&one));
    EXPECT_EQ(qApp->styleSheet(), one.StyleSheet());
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(data.SetCompressedStoredSkin(nullptr));
    TbsCompressedStoredSkin missing(9);
    EXPECT_FALSE(data.SetCompressedStoredSkin(&missing));
    EXPECT_EQ(data.CompressedStoredSkin(), &one);
    qApp->setStyleSheet(QString());
}

TEST(SkinData, OnlyTheLastSkinChosenDuringAnUpdateIsUnpacked) {
    TbsSkinData data;
    TbsCompressedStoredSkin one(0), two(1), three(2);
    const int before = TbsSkinData::DecompressCount();
    data.BeginUpdate();
    data.SetCompressedStoredSkin(&one);
    data.SetCompressedStoredSkin(&three);
    data.SetCompressedStoredSkin(&two);
    EXPECT_EQ(TbsSkinData::DecompressCount(), before);
    data.EndUpdate();
    EXPECT_EQ(TbsSkinData::DecompressCount(), before + 1);
    EXPECT_EQ(data.AppliedStyleSheet(), two.StyleSheet());
    qApp->setStyleSheet(QString());
}

} // namespace
