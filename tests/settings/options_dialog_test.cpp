#include "settings/options_dialog.h"
#include "core/twips.h"
#include "support/window_harness.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

namespace {

struct OptionsWindow {
    WindowHarness h;

    OptionsWindow(bool sel, const QString& signature, int sec) {
        MailStore& db = h.seed();
        if (!db.updateNewsSel(sel) || !db.updateSignature(signature) || !db.updateVoiceSec(sec) ||
            !db.updateNewsSite(QStringLiteral("https://news.example.test/rss.xml"))) {
            qFatal("cannot seed the options");
        }
        db.insertAccount({"p", "s", "a", "pw", "e@example.test", "n", "t"});
        if (!h.start()) qFatal("the window did not start");
    }
    OptionsDialog* open() {
        h.trigger(QStringLiteral("t_option"));
        return h.window().findChild<OptionsDialog*>(QStringLiteral("Options"));
    }
    template <typename T>
    static T* child(QWidget* d, const char* name) {
        T* w = d->findChild<T*>(QLatin1String(name));
        if (!w) qFatal("no %s", name);
        return w;
    }
    static void key(QWidget* d, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        d->activateWindow();
        if (!QTest::qWaitForWindowActive(d)) qWarning("the dialog is not active");
        QTest::keyClick(d->windowHandle(), Qt::Key(k), mods);
        QApplication::processEvents();
    }
    // Each page lies at 210 and is enabled when its tab is selected, else at -20000, disabled.
    static void expect_page(QWidget* d, int shown) {
        for (int i = 0; i < 3; ++i) {
            auto* page = d->findChild<QWidget*>(QStringLiteral("picOptions_%1").arg(i));
            ASSERT_NE(page, nullptr);
            EXPECT_EQ(page->x(), twips(i == shown ? 210 : -20000)) << "page " << i;
            EXPECT_EQ(page->isEnabled(), i == shown) << "page " << i;
        }
    }
};

}  // namespace

TEST(OptionsDialog, OpensWithTheStoredValuesOnTheSignaturePage) {
    OptionsWindow t(true, QStringLiteral("山田より"), 45);
    OptionsDialog* d = t.open();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("ｵﾌﾟｼｮﾝ"));
    auto* tabs = OptionsWindow::child<QTabBar>(d, "tbsOptions");
    ASSERT_EQ(tabs->count(), 3);
    const char* captions[] = {"署名", "最新ニュース", "音声録音"};
    const char* keys[] = {"Group1", "Group2", "group3"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tabs->tabText(i), QString::fromUtf8(captions[i]));
        EXPECT_EQ(tabs->tabData(i).toString(), QLatin1String(keys[i]));
    }
    EXPECT_EQ(tabs->currentIndex(), 0);
    OptionsWindow::expect_page(d, 0);

    EXPECT_TRUE(OptionsWindow::child<QCheckBox>(d, "newsCheck1")->isChecked());
    EXPECT_EQ(OptionsWindow::child<QCheckBox>(d, "newsCheck1")->text(),
              QStringLiteral("起動時に最新を読む"));
    EXPECT_EQ(OptionsWindow::child<QPlainTextEdit>(d, "signature1")->toPlainText(),
              QStringLiteral("山田より"));
    EXPECT_EQ(OptionsWindow::child<QLineEdit>(d, "rec_sec")->text(), QStringLiteral("45"));
    EXPECT_EQ(OptionsWindow::child<QGroupBox>(d, "fraSample2")->title(),
              QStringLiteral("news.example.test"));
    EXPECT_EQ(OptionsWindow::child<QGroupBox>(d, "fraSample3")->title(),
              QStringLiteral("録音時間（秒）"));
    EXPECT_EQ(OptionsWindow::child<QPushButton>(d, "cmdCancel")->text(), QStringLiteral("ｷｬﾝｾﾙ"));

    EXPECT_EQ(t.open(), d);  // the open dialog is brought forward, not built twice
    EXPECT_EQ(t.h.window().findChildren<OptionsDialog*>().size(), 1);
}

TEST(OptionsDialog, CtrlTabCyclesThePagesAndNothingElseDoes) {
    OptionsWindow t(false, QString(), 30);
    OptionsDialog* d = t.open();
    auto* tabs = OptionsWindow::child<QTabBar>(d, "tbsOptions");
    EXPECT_FALSE(OptionsWindow::child<QCheckBox>(d, "newsCheck1")->isChecked());
    OptionsWindow::child<QPlainTextEdit>(d, "signature1")->setFocus();
    OptionsWindow::key(d, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), 1);
    OptionsWindow::expect_page(d, 1);
    OptionsWindow::key(d, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), 2);
    OptionsWindow::child<QLineEdit>(d, "rec_sec")->setFocus();
    OptionsWindow::key(d, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tabs->currentIndex(), 2);
    OptionsWindow::key(d, Qt::Key_Tab, Qt::ControlModifier);  // from the last back to the first
    EXPECT_EQ(tabs->currentIndex(), 0);
    OptionsWindow::expect_page(d, 0);
    EXPECT_EQ(OptionsWindow::child<QPlainTextEdit>(d, "signature1")->toPlainText(), QString());
}

TEST(OptionsDialog, OkWritesAllThreeAndTheyAreUsedAtOnce) {
    OptionsWindow t(true, QStringLiteral("old"), 30);
    OptionsDialog* d = t.open();
    QPointer<OptionsDialog> alive(d);
    OptionsWindow::child<QCheckBox>(d, "newsCheck1")->setChecked(false);
    OptionsWindow::child<QPlainTextEdit>(d, "signature1")
        ->setPlainText(QStringLiteral("It's \"quoted\"\n-- 山田"));
    OptionsWindow::child<QLineEdit>(d, "rec_sec")->setText(QStringLiteral("６０"));
    t.h.mark();
    OptionsWindow::child<QPushButton>(d, "cmdOK")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 2000));  // closing destroys it
    MailStore& db = t.h.store();
    EXPECT_FALSE(db.news()->sel);
    EXPECT_EQ(db.signature()->signature, QStringLiteral("It's \"quoted\"\n-- 山田"));
    EXPECT_EQ(db.voice()->sec, 60);
    EXPECT_EQ(t.h.options().signature_text, QStringLiteral("It's \"quoted\"\n-- 山田"));
    EXPECT_EQ(t.h.options().record_seconds, 60);
    EXPECT_TRUE(t.h.spokenSinceMark().isEmpty());

    // Unchanged values are written too: what the dialog shows replaces what the table holds.
    d = t.open();
    OptionsWindow::child<QCheckBox>(d, "newsCheck1")->setChecked(true);
    ASSERT_TRUE(db.updateSignature(QStringLiteral("changed elsewhere")));
    ASSERT_TRUE(db.updateVoiceSec(5));
    OptionsWindow::child<QPushButton>(d, "cmdOK")->click();
    EXPECT_TRUE(db.news()->sel);
    EXPECT_EQ(db.signature()->signature, QStringLiteral("It's \"quoted\"\n-- 山田"));
    EXPECT_EQ(db.voice()->sec, 60);
}

TEST(OptionsDialog, CancelAndEscapeWriteNothing) {
    OptionsWindow t(true, QStringLiteral("stored"), 30);
    OptionsDialog* d = t.open();
    QPointer<OptionsDialog> alive(d);
    OptionsWindow::child<QPlainTextEdit>(d, "signature1")->setPlainText(QStringLiteral("draft"));
    OptionsWindow::child<QCheckBox>(d, "newsCheck1")->setChecked(false);
    OptionsWindow::child<QPushButton>(d, "cmdCancel")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 2000));
    EXPECT_EQ(t.h.store().signature()->signature, QStringLiteral("stored"));
    EXPECT_TRUE(t.h.store().news()->sel);

    d = t.open();
    alive = d;
    EXPECT_EQ(OptionsWindow::child<QPlainTextEdit>(d, "signature1")->toPlainText(),
              QStringLiteral("stored"));
    OptionsWindow::child<QLineEdit>(d, "rec_sec")->setText(QStringLiteral("99"));
    OptionsWindow::key(d, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 2000));
    EXPECT_EQ(t.h.store().voice()->sec, 30);
    EXPECT_EQ(t.h.options().record_seconds, 30);
}

TEST(OptionsDialog, ARecordingLengthThatIsNoNumberIsRefusedAloud) {
    OptionsWindow t(false, QStringLiteral("s"), 30);
    OptionsDialog* d = t.open();
    auto* seconds = OptionsWindow::child<QLineEdit>(d, "rec_sec");
    auto* message = OptionsWindow::child<QLabel>(d, "lblMessage");
    for (const QString& bad :
         {QStringLiteral("abc"), QString(), QStringLiteral("0"), QStringLiteral("12.5")}) {
        seconds->setText(bad);
        OptionsWindow::child<QPlainTextEdit>(d, "signature1")->setPlainText(QStringLiteral("new"));
        t.h.mark();
        OptionsWindow::child<QPushButton>(d, "cmdOK")->click();
        EXPECT_TRUE(message->text().startsWith(QStringLiteral("録音時間は"))) << bad.toStdString();
        EXPECT_EQ(t.h.spokenSinceMark(), QStringList{message->text()});
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(OptionsWindow::child<QTabBar>(d, "tbsOptions")->currentIndex(), 2);
        EXPECT_EQ(t.h.store().signature()->signature, QStringLiteral("s"));
        EXPECT_EQ(t.h.store().voice()->sec, 30);
    }
    EXPECT_EQ(OptionsDialog::seconds_from(QStringLiteral(" 15 ")), 15);
    EXPECT_FALSE(OptionsDialog::seconds_from(QStringLiteral("3601")));
}
