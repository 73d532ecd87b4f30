// The voice's own commands in the running program: stop, repeat, history, the settings dialog
// and the waiting cue.
#include "mailbox/flex_grid.h"
#include "settings/speech_settings_dialog.h"
#include "speech/speech_channel.h"
#include "speech/speech_history_dialog.h"
#include "speech/wait_cue.h"
#include "support/window_harness.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

// Runs f once on the first modal dialog that opens, from inside its own event loop, as a user
// at the keyboard would.
void when_modal(std::function<void(QDialog*)> f) {
    auto* poll = new QTimer;
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, f] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        f(dialog);
    });
    poll->start();
}

void keys(QDialog* dialog, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
    QTest::keyClick(target, key, mods);
    QApplication::processEvents();
}

}  // namespace

TEST(SpeechKeysInTheWindow, CtrlAloneStopsAndCtrlShortcutsKeepWorkingWithoutStopping) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    SpeechChannel& speech = h.window().speech();
    EXPECT_EQ(h.w().shortcut03->text(),
              QStringLiteral("[CTRL:読み上げ停止 F2:もう一度 SHIFT-F2:読み上げ履歴]"));
    const int before = speech.silenceCount();

    h.focus(h.w().mailto);
    h.key(Qt::Key_A, Qt::ControlModifier);  // the mail list, by its menu shortcut
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(h.w().MSFlexGrid1));
    EXPECT_EQ(speech.silenceCount(), before);

    h.key(Qt::Key_Control);
    EXPECT_EQ(speech.silenceCount(), before + 1);
    EXPECT_EQ(speech.pending(), 0);
}

TEST(SpeechKeysInTheWindow, F2RepeatsTheLastUtteranceWithoutAddingToTheHistory) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    SpeechChannel& speech = h.window().speech();
    h.window().feedback().speak(QStringLiteral("未読メールは3通です"));
    const QStringList history = speech.history();
    h.mark();
    h.key(Qt::Key_F2);
    h.key(Qt::Key_F2);
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{QStringLiteral("未読メールは3通です"),
                                                QStringLiteral("未読メールは3通です")}));
    EXPECT_EQ(speech.history(), history);
}

TEST(SpeechKeysInTheWindow, ShiftF2ListsTheHistoryNewestFirstEnterSaysOneEscCloses) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    SpeechChannel& speech = h.window().speech();
    h.window().feedback().speak(QStringLiteral("一行目\n二行目の長い本文"));
    h.window().feedback().speak(QStringLiteral("最後の読み上げ"));
    const QStringList history = speech.history();

    QStringList rows;
    QStringList greeting;
    qsizetype from = h.spoken().size();
    const int silencesBefore = speech.silenceCount();
    int silencedOnOpening = -1;
    bool closed = false;
    when_modal([&](QDialog* dialog) {
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("speech_history"));
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
        silencedOnOpening = speech.silenceCount() - silencesBefore;
        greeting = h.spoken().mid(from);
        from = h.spoken().size();
        keys(dialog, Qt::Key_Down);
        keys(dialog, Qt::Key_Return);
        EXPECT_TRUE(dialog->isVisible());  // ENTER reads, it does not close
        keys(dialog, Qt::Key_Escape);
        closed = !dialog->isVisible();
    });
    h.key(Qt::Key_F2, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed; }, 5000));

    ASSERT_EQ(rows.size(), history.size());
    EXPECT_EQ(rows.at(0), QStringLiteral("最後の読み上げ"));
    EXPECT_EQ(rows.at(1), QStringLiteral("一行目\\n二行目の長い本文"));
    EXPECT_EQ(greeting,
              (QStringList{QStringLiteral("読み上げ履歴 %1件。新しい順です。上下の矢印キーで"
                                          "選び、ENTERキーで読み上げます。ESCキーで閉じます")
                               .arg(history.size()),
                           QStringLiteral("1件目 最後の読み上げ")}));
    // The greeting is heard: nothing cut it short when the first entry was said.
    EXPECT_EQ(silencedOnOpening, 0);
    const QStringList said = h.spoken().mid(from);
    ASSERT_EQ(said.size(), 2);
    EXPECT_EQ(said.at(0), QStringLiteral("2件目 一行目\n二行目の長い本文"));
    EXPECT_EQ(said.at(1), QStringLiteral("一行目\n二行目の長い本文"));
    // Nothing the list said went into the history.
    EXPECT_EQ(speech.history(), history);
}

TEST(SpeechSettingsDialogInTheWindow, StartsWithTheSavedChoiceAndSavesAChangeOnOk) {
    WindowHarness h;
    SpeechRow saved;
    saved.rate = 150;
    saved.volume = 40;
    saved.voice = QStringLiteral("o'neil 100%");
    saved.wait_cue = false;
    ASSERT_TRUE(h.seed().updateSpeechSettings(saved));
    ASSERT_TRUE(h.start());
    SpeechChannel& speech = h.window().speech();
    EXPECT_EQ(speech.settings().rate, 150);
    EXPECT_EQ(speech.settings().volume, 40);
    EXPECT_EQ(speech.settings().voice, QStringLiteral("o'neil 100%"));
    EXPECT_FALSE(h.window().waitCue().enabled());

    int rateDuringDialog = 0;
    QStringList heardInDialog;
    when_modal([&](QDialog* dialog) {
        auto* s = qobject_cast<SpeechSettingsDialog*>(dialog);
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([&] { return s->rateBox()->hasFocus(); }, 2000));
        const qsizetype from = h.spoken().size();
        keys(dialog, Qt::Key_Up);
        rateDuringDialog = speech.settings().rate;  // applied at once, before OK
        keys(dialog, Qt::Key_Tab);
        keys(dialog, Qt::Key_Tab);
        keys(dialog, Qt::Key_Tab);
        keys(dialog, Qt::Key_Space);  // the waiting cue on
        heardInDialog = h.spoken().mid(from);
        keys(dialog, Qt::Key_Return);
    });
    h.mark();
    h.trigger(QStringLiteral("t_speech"));

    EXPECT_EQ(rateDuringDialog, 160);
    EXPECT_EQ(heardInDialog,
              (QStringList{QStringLiteral("速さ 160パーセント。この声で読み上げます"),
                           QStringLiteral("音量 40パーセント"), QStringLiteral("声 o'neil 100%"),
                           QStringLiteral("待っている間の合図音 オフ"),
                           QStringLiteral("待っている間の合図音 オン")}));
    const QStringList said = h.spokenSinceMark();
    ASSERT_FALSE(said.isEmpty());
    EXPECT_EQ(said.front().left(7), QStringLiteral("音声の設定です"));
    EXPECT_TRUE(said.contains(QStringLiteral("音声の設定を保存しました")));
    EXPECT_EQ(h.w().cmd_message->text(), QStringLiteral("音声の設定を保存しました"));
    const auto row = h.store().speechSettings();
    ASSERT_TRUE(row.has_value());
    EXPECT_EQ(row->rate, 160);
    EXPECT_EQ(row->volume, 40);
    EXPECT_EQ(row->voice, QStringLiteral("o'neil 100%"));
    EXPECT_TRUE(row->wait_cue);
    EXPECT_TRUE(h.window().waitCue().enabled());
}

TEST(SpeechSettingsDialogInTheWindow, EscPutsTheVoiceBackAndSavesNothing) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    SpeechChannel& speech = h.window().speech();
    const VoiceSettings before = speech.settings();
    int during = 0;
    when_modal([&](QDialog* dialog) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return QApplication::focusWidget() ==
                       static_cast<SpeechSettingsDialog*>(dialog)->rateBox();
            },
            2000));
        keys(dialog, Qt::Key_Down);
        keys(dialog, Qt::Key_Down);
        during = speech.settings().rate;
        keys(dialog, Qt::Key_Escape);
    });
    h.trigger(QStringLiteral("t_speech"));
    EXPECT_EQ(during, before.rate - 20);
    EXPECT_EQ(speech.settings(), before);
    EXPECT_EQ(h.store().speechSettings()->rate, 100);
    EXPECT_EQ(h.spoken().last(), QStringLiteral("音声の設定を元に戻しました"));
}

TEST(WaitingCue, SoundsOnlyWhenACheckKeepsTheWindowWaitingLongerThanTwoSeconds) {
    WindowHarness h;
    ASSERT_GT(h.seed().insertAccount(AccountFields{
                  QStringLiteral("pop.example.test"), QStringLiteral("smtp.example.test"),
                  QStringLiteral("taro"), QStringLiteral("pw"), QStringLiteral("taro@example.test"),
                  QStringLiteral("taro"), QString()}),
              0);
    int delayMs = 0;
    h.component.onRcvMail = [&delayMs](const QString&, const QString&,
                                       const QString&) -> MailArray {
        QThread::msleep(delayMs);
        return QStringList{QStringLiteral("0 0")};
    };
    ASSERT_TRUE(h.start());
    WaitCue& cue = h.window().waitCue();
    const qsizetype transcript = h.spoken().size();

    const int start = cue.cuesPlayed();
    delayMs = 1200;
    h.trigger(QStringLiteral("mail_check"));
    EXPECT_EQ(cue.cuesPlayed(), start);

    delayMs = 3300;
    h.trigger(QStringLiteral("mail_check"));
    const int cues = cue.cuesPlayed() - start;
    EXPECT_GE(cues, 1);
    EXPECT_LE(cues, 2);
    // A tone, not words: nothing of it is in what the voice said.
    for (const QString& said : h.spoken().mid(transcript)) {
        EXPECT_FALSE(said.contains(QStringLiteral("合図")));
    }

    cue.setEnabled(false);
    const int off = cue.cuesPlayed();
    h.trigger(QStringLiteral("mail_check"));
    EXPECT_EQ(cue.cuesPlayed(), off);
}
