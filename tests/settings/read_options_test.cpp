#include "settings/options.h"
#include "support/window_harness.h"

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

TEST(ReadOptions, StartUpLoadsTheSignatureTheRecordingLengthAndTheVoiceFile) {
    WindowHarness h;
    MailStore& db = h.seed();
    ASSERT_TRUE(db.updateSignature(QStringLiteral("山田太郎\r\nyamada@example.test")));
    ASSERT_TRUE(db.updateVoiceSec(45));
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.options().signature_text, QStringLiteral("山田太郎\r\nyamada@example.test"));
    EXPECT_EQ(h.options().record_seconds, 45);
}

TEST(ReadOptions, ReturnsWhatTheDialogShowsAndRefreshesMemoryOnlyWhenCalled) {
    WindowHarness h;
    ASSERT_TRUE(h.seed().updateNewsSel(true));
    ASSERT_TRUE(h.start());
    auto* options = h.window().findChild<Options*>();
    ASSERT_NE(options, nullptr);

    OptionValues v = options->read_options();
    EXPECT_TRUE(v.news_sel);
    EXPECT_EQ(v.record_seconds, 30);

    // Saved options reach memory at the next reading, not before.
    ASSERT_TRUE(h.store().updateSignature(QStringLiteral("新しい署名")));
    ASSERT_TRUE(h.store().updateVoiceSec(12));
    ASSERT_TRUE(h.store().updateNewsSel(false));
    EXPECT_EQ(h.options().record_seconds, 30);
    EXPECT_EQ(h.options().signature_text, QString());
    v = options->read_options();
    EXPECT_FALSE(v.news_sel);
    EXPECT_EQ(v.signature_text, QStringLiteral("新しい署名"));
    EXPECT_EQ(v.record_seconds, 12);
    EXPECT_EQ(h.options().signature_text, QStringLiteral("新しい署名"));
    EXPECT_EQ(h.options().record_seconds, 12);

    // The voice file name comes from the table too (a recording replaces it in memory).
    h.options().voice_file = QStringLiteral("quorvel-a-20261205090000.mp3");
    EXPECT_EQ(options->read_options().voice_file, QString());
    EXPECT_EQ(h.options().voice_file, QString());

    // The start-up's hook does the same.
    ASSERT_TRUE(h.store().updateVoiceSec(90));
    h.parts().options->read_options();
    EXPECT_EQ(h.options().record_seconds, 90);
}
