#include "compose/voice_recorder.h"
#include "core/twips.h"
#include "support/settings_window.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

// The window with the options given in the tables (the news site's host names the news frame).
SettingsWindow with_options(bool sel, const QString& signature, int sec) {
    return SettingsWindow(1, 0, [=](MailStore& db) {
        return db.updateNewsSel(sel) && db.updateSignature(signature) && db.updateVoiceSec(sec);
    });
}

// Each page lies at 210 and is enabled when its tab is selected, else at -20000, disabled.
void expect_page(QWidget* d, int shown) {
    for (int i = 0; i < 3; ++i) {
        QWidget* page = child(d, qPrintable(QStringLiteral("picOptions_%1").arg(i)));
        EXPECT_EQ(page->x(), twips(i == shown ? 210 : -20000)) << "page " << i;
        EXPECT_EQ(page->isEnabled(), i == shown) << "page " << i;
    }
}

}  // namespace

TEST(OptionsDialog, OpensWithTheStoredValuesWhichOnlyThenReachMemoryAndNotARecordingsName) {
    SettingsWindow t = with_options(true, QStringLiteral("山田太郎\r\nyamada@example.test"), 45);
    EXPECT_EQ(t.h.options().signature_text, QStringLiteral("山田太郎\r\nyamada@example.test"));
    EXPECT_EQ(t.h.options().record_seconds, 45);
    ASSERT_TRUE(t.h.store().updateSignature(QStringLiteral("新しい署名")));
    ASSERT_TRUE(t.h.store().updateVoiceSec(12));
    EXPECT_EQ(t.h.options().record_seconds, 45);  // not before the next reading
    // A recording waiting to be sent keeps its name when the dialog reads the options again.
    t.h.options().voice_file = QStringLiteral("quorvel-a-20261205090000");
    const QString recording = t.h.parts().recorder->voice_path();

    OptionsDialog* d = t.options();
    EXPECT_TRUE(d->isVisible() && !d->isModal());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("ｵﾌﾟｼｮﾝ"));
    auto* tabs = child<QTabBar>(d, "tbsOptions");
    EXPECT_EQ((QStringList{tabs->tabText(0), tabs->tabText(1), tabs->tabText(2)}),
              (QStringList{"署名", "最新ニュース", "音声録音"}));
    EXPECT_EQ((QStringList{tabs->tabData(0).toString(), tabs->tabData(1).toString(),
                           tabs->tabData(2).toString()}),
              (QStringList{"Group1", "Group2", "group3"}));
    EXPECT_EQ(tabs->currentIndex(), 0);
    expect_page(d, 0);
    EXPECT_TRUE(child<QCheckBox>(d, "newsCheck1")->isChecked());
    EXPECT_EQ(child<QPlainTextEdit>(d, "signature1")->toPlainText(), QStringLiteral("新しい署名"));
    EXPECT_EQ(child<QLineEdit>(d, "rec_sec")->text(), QStringLiteral("12"));
    EXPECT_EQ(t.h.options().signature_text, QStringLiteral("新しい署名"));
    EXPECT_EQ(t.h.options().record_seconds, 12);
    EXPECT_EQ(t.h.parts().recorder->voice_path(), recording);
    EXPECT_EQ(t.options(), d);  // the open dialog is brought forward, not built twice
    EXPECT_EQ(t.h.window().findChildren<OptionsDialog*>().size(), 1);
}

TEST(OptionsDialog, CtrlTabCyclesThePagesSaysEachAndBringsTheFocusAlong) {
    SettingsWindow t = with_options(false, QString(), 30);
    OptionsDialog* d = t.options();
    auto* tabs = child<QTabBar>(d, "tbsOptions");
    ASSERT_TRUE(activate(d));
    EXPECT_FALSE(child<QCheckBox>(d, "newsCheck1")->isChecked());
    child(d, "signature1")->setFocus();
    t.h.mark();
    press(d, Qt::Key_Tab, Qt::ControlModifier);
    expect_page(d, 1);
    // The page, then where the focus went from the page put away.
    EXPECT_EQ(t.h.spokenSinceMark(), (QStringList{"最新ニュース タブ", "起動時に最新を読む オフ"}));
    press(d, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), child(d, "rec_sec"));
    press(d, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabs->currentIndex(), 2);
    press(d, Qt::Key_Tab, Qt::ControlModifier);  // from the last back to the first
    EXPECT_EQ(tabs->currentIndex(), 0);
    expect_page(d, 0);
}

TEST(OptionsDialog, OkWritesAllThreeUsesThemAtOnceAndSaysSo) {
    SettingsWindow t = with_options(true, QStringLiteral("old"), 30);
    MailStore& db = t.h.store();
    for (bool again : {false, true}) {
        QPointer<OptionsDialog> d = t.options();
        child<QCheckBox>(d, "newsCheck1")->setChecked(again);
        if (again) {  // unchanged values are written too: what the dialog shows replaces the table
            ASSERT_TRUE(db.updateSignature(QStringLiteral("changed elsewhere")));
            ASSERT_TRUE(db.updateVoiceSec(5));
        } else {
            child<QPlainTextEdit>(d, "signature1")->setPlainText("It's \"quoted\"\n-- 山田");
            child<QLineEdit>(d, "rec_sec")->setText(QStringLiteral("６０"));
        }
        click(d, "cmdOK");
        EXPECT_TRUE(QTest::qWaitFor([&] { return d.isNull(); }, 2000));  // closing destroys it
        EXPECT_EQ(t.h.spoken().last(), QStringLiteral("オプションを保存しました"));
        EXPECT_EQ(db.news()->sel, again);
        EXPECT_EQ(db.signature()->signature, QStringLiteral("It's \"quoted\"\n-- 山田"));
        EXPECT_EQ(db.voice()->sec, 60);
        EXPECT_EQ(t.h.options().signature_text, db.signature()->signature);
        EXPECT_EQ(t.h.options().record_seconds, 60);
    }
}

TEST(OptionsDialog, ARecordingLengthThatIsNoNumberIsRefusedAloud) {
    SettingsWindow t = with_options(false, QStringLiteral("s"), 30);
    OptionsDialog* d = t.options();
    for (const char* bad : {"abc", "", "0", "12.5", "3601"}) {
        child<QLineEdit>(d, "rec_sec")->setText(QString::fromUtf8(bad));
        child<QPlainTextEdit>(d, "signature1")->setPlainText(QStringLiteral("new"));
        t.h.mark();
        click(d, "cmdOK");
        const QString message = child<QLabel>(d, "lblMessage")->text();
        EXPECT_TRUE(message.startsWith(QStringLiteral("録音時間は"))) << bad;
        EXPECT_EQ(t.h.spokenSinceMark().value(0), message);  // why, then where to put it right
        EXPECT_EQ(QApplication::focusWidget(), child(d, "rec_sec"));
        EXPECT_EQ(t.h.store().signature()->signature, QStringLiteral("s"));
        EXPECT_EQ(t.h.store().voice()->sec, 30);
    }
    EXPECT_EQ(OptionsDialog::seconds_from(QStringLiteral(" 15 ")), 15);
}
