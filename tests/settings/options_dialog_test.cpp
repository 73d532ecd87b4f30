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

// Each page lies at 210 and is enabled when its tab is selected, else at -20000, disabled.
void expect_page(QWidget* d, int shown) {
    for (int i = 0; i < 3; ++i) {
        QWidget* page = child(d, qPrintable(QStringLiteral("picOptions_%1").arg(i)));
        EXPECT_EQ(std::pair(page->x(), page->isEnabled()),
                  std::pair(twips(i == shown ? 210 : -20000), i == shown))
            << "page " << i;
    }
}

}  // namespace

TEST(OptionsDialog, ShowsTheTablesCyclesItsPagesRefusesBadSecondsAloudAndSavesOnOk) {
    const QString signature = QStringLiteral("山田太郎\r\nyamada@example.test");
    SettingsWindow t(1, 0, [&](MailStore& db) {
        return db.updateNewsSel(true) && db.updateSignature(signature) && db.updateVoiceSec(45);
    });
    MailStore& db = t.h.store();
    OptionState& memory = t.h.options();
    EXPECT_EQ(std::pair(memory.signature_text, memory.record_seconds), std::pair(signature, 45));
    ASSERT_TRUE(db.updateSignature(QStringLiteral("新しい署名")) && db.updateVoiceSec(12));
    EXPECT_EQ(memory.record_seconds, 45);  // not before the next reading
    // A recording waiting to be sent keeps its name when the dialog reads the options again.
    memory.voice_file = QStringLiteral("quorvel-a-20261205090000");
    const QString recording = t.h.parts().recorder->voice_path();

    OptionsDialog* d = t.options();
    EXPECT_TRUE(d->isVisible() && !d->isModal());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("ｵﾌﾟｼｮﾝ"));
    auto* tabs = child<QTabBar>(d, "tbsOptions");
    QStringList captions;
    for (int i = 0; i < tabs->count(); ++i)
        captions << tabs->tabText(i) + tabs->tabData(i).toString();
    EXPECT_EQ(captions, (QStringList{"署名Group1", "最新ニュースGroup2", "音声録音group3"}));
    expect_page(d, 0);
    EXPECT_TRUE(child<QCheckBox>(d, "newsCheck1")->isChecked());
    EXPECT_EQ(child<QPlainTextEdit>(d, "signature1")->toPlainText(), QStringLiteral("新しい署名"));
    EXPECT_EQ(child<QLineEdit>(d, "rec_sec")->text(), QStringLiteral("12"));
    EXPECT_EQ(std::pair(memory.signature_text, memory.record_seconds),
              std::pair(QStringLiteral("新しい署名"), 12));
    EXPECT_EQ(t.h.parts().recorder->voice_path(), recording);
    EXPECT_EQ(t.options(), d);  // the open dialog is brought forward, not built twice
    EXPECT_EQ(t.h.window().findChildren<OptionsDialog*>().size(), 1);

    // Ctrl+Tab says the page and brings the focus along from the page put away.
    ASSERT_TRUE(activate(d));
    child(d, "signature1")->setFocus();
    t.h.mark();
    press(d, Qt::Key_Tab, Qt::ControlModifier);
    expect_page(d, 1);
    EXPECT_EQ(t.h.spokenSinceMark(), (QStringList{"最新ニュース タブ", "起動時に最新を読む オン"}));
    press(d, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), child(d, "rec_sec"));
    press(d, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabs->currentIndex(), 2);
    for (const char* bad : {"abc", "", "0", "12.5", "3601"}) {
        child<QLineEdit>(d, "rec_sec")->setText(QString::fromUtf8(bad));
        t.h.mark();
        click(d, "cmdOK");
        const QString message = child<QLabel>(d, "lblMessage")->text();
        EXPECT_TRUE(message.startsWith(QStringLiteral("録音時間は"))) << bad;
        EXPECT_EQ(t.h.spokenSinceMark().value(0), message);  // why, then where to put it right
        EXPECT_EQ(QApplication::focusWidget(), child(d, "rec_sec"));
        EXPECT_EQ(std::pair(db.news()->sel, db.voice()->sec), std::pair(true, 12));
    }
    EXPECT_EQ(OptionsDialog::seconds_from(QStringLiteral(" 15 ")), 15);
    press(d, Qt::Key_Tab, Qt::ControlModifier);  // from the last back to the first
    expect_page(d, 0);

    // OK writes all three, unchanged values too, and they are used at once.
    const QString typed = QStringLiteral("It's \"quoted\"\n-- 山田");
    for (bool again : {false, true}) {
        QPointer<OptionsDialog> dialog = t.options();
        child<QCheckBox>(dialog, "newsCheck1")->setChecked(again);
        if (again) {
            ASSERT_TRUE(db.updateSignature(QStringLiteral("elsewhere")) && db.updateVoiceSec(5));
        } else {
            child<QPlainTextEdit>(dialog, "signature1")->setPlainText(typed);
            child<QLineEdit>(dialog, "rec_sec")->setText(QStringLiteral("６０"));
        }
        click(dialog, "cmdOK");
        EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 2000));  // and destroys it
        EXPECT_EQ(t.h.spoken().last(), QStringLiteral("オプションを保存しました"));
        EXPECT_EQ(std::tuple(db.news()->sel, db.signature()->signature, db.voice()->sec),
                  std::tuple(again, typed, 60));
        EXPECT_EQ(std::pair(memory.signature_text, memory.record_seconds), std::pair(typed, 60));
    }
}
