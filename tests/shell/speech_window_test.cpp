// The voice's own commands in the running program: stop, repeat, history, the settings dialog
// (move speech among them) and the waiting cue it switches.
#include "mailbox/flex_grid.h"
#include "settings/speech_settings_dialog.h"
#include "speech/speech_channel.h"
#include "speech/wait_cue.h"
#include "support/golden.h"
#include "support/settings_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QThread>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

TEST(SpeechKeysInTheWindow, CtrlStopsF2RepeatsShiftF2ListsTheHistoryNoneOfItRemembered) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    SpeechChannel& speech = h.window().speech();
    EXPECT_EQ(h.w().shortcut03->text(), "[CTRL:読み上げ停止 F2:もう一度 SHIFT-F2:読み上げ履歴]");
    const int before = speech.silenceCount();
    h.focus(h.w().mailto);
    h.key(Qt::Key_A, Qt::ControlModifier);  // the mail list, by its menu shortcut: no stop
    EXPECT_EQ(QApplication::focusWidget(), static_cast<QWidget*>(h.w().MSFlexGrid1));
    EXPECT_EQ(speech.silenceCount(), before);
    h.key(Qt::Key_Control);
    EXPECT_EQ(speech.silenceCount(), before + 1);

    h.window().feedback().speak("一行目\n二行目の長い本文");
    h.window().feedback().speak("最後の読み上げ");
    const QStringList history = speech.history();
    h.mark();
    for (int i = 0; i < 2; ++i) h.key(Qt::Key_F2);
    EXPECT_EQ(h.spokenSinceMark(), (QStringList{"最後の読み上げ", "最後の読み上げ"}));

    QStringList rows, opening, moved;
    const int silences = speech.silenceCount();
    int silenced_on_opening = -1;
    when_modal([&](QDialog* dialog) {
        auto* list = dialog->findChild<QListWidget*>("speech_history");
        ASSERT_TRUE(list && activate(dialog));
        for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
        silenced_on_opening = speech.silenceCount() - silences;
        opening = h.spokenSinceMark();
        walk_dialog(dialog, [&] { return h.spoken(); });
        for (int key : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Escape}) press(dialog, key);
        moved = h.spokenSinceMark();
    });
    h.key(Qt::Key_F2, Qt::ShiftModifier);
    EXPECT_EQ(rows, QStringList(history).replaceInStrings("\n", "\\n"));
    // The greeting and the first row on opening, then the second row moved to, said, closed.
    EXPECT_EQ(opening + moved, golden_lines("shell/speech_history.txt")
                                   .replaceInStrings("%count", QString::number(history.size()))
                                   .replaceInStrings("\\n", "\n"));
    EXPECT_EQ(silenced_on_opening, 0);     // nothing cut the greeting short
    EXPECT_EQ(speech.history(), history);  // nothing said here went into the history
}

TEST(SpeechSettingsDialogInTheWindow, TheSavedChoiceRulesFromTheStartOkSavesEscPutsBack) {
    SettingsWindow t(2, 0, [](MailStore& db) {
        return db.updateSpeechSettings({150, 40, "o'neil 100%", false, false});
    });
    WindowHarness& h = t.h;
    SpeechChannel& speech = h.window().speech();
    EXPECT_EQ(speech.settings(), (VoiceSettings{150, 40, "o'neil 100%"}));
    EXPECT_FALSE(h.window().waitCue().enabled());
    // Moves in a list are silent, as the user chose.
    AccountList* accounts = t.list();
    accounts->list()->setFocus();
    ASSERT_TRUE(activate(accounts));
    h.mark();
    press(accounts, Qt::Key_Down);
    EXPECT_EQ(h.spokenSinceMark(), QStringList());

    VoiceSettings during;
    bool moves_during = false;
    QStringList changes;
    auto change = [&](std::initializer_list<int> keys, int closing) {
        when_modal([&, keys, closing](QDialog* dialog) {
            auto* s = qobject_cast<SpeechSettingsDialog*>(dialog);
            ASSERT_TRUE(s && activate(s));
            walk_dialog(s, [&] { return h.spoken(); });
            h.mark();
            for (int key : keys) press(s, key);  // on the rate
            for (QCheckBox* box : {s->cueBox(), s->moveBox()}) {
                box->setFocus();
                press(s, Qt::Key_Space);
            }
            during = speech.settings();  // applied at once, before OK
            moves_during = h.window().feedback().move_speech();
            changes = h.spokenSinceMark();
            press(s, closing);
        });
        h.trigger("t_speech");
    };
    change({Qt::Key_Up}, Qt::Key_Return);
    EXPECT_EQ(during.rate, 160);
    EXPECT_TRUE(moves_during);
    EXPECT_EQ(changes, golden_lines("shell/speech_settings_changes.txt"));
    EXPECT_TRUE(h.spoken().contains("音声の設定。" + SpeechSettingsDialog::purpose()));
    EXPECT_EQ(h.spokenSinceMark().last(), "音声の設定を保存しました");
    EXPECT_EQ(h.w().cmd_message->text(), "音声の設定を保存しました");
    const auto saved = std::tuple{160, 40, "o'neil 100%", true, true};
    auto row = [&] {
        const SpeechRow r = h.store().speechSettings().value_or(SpeechRow{});
        return std::tuple{r.rate, r.volume, r.voice, r.wait_cue, r.move_speech};
    };
    EXPECT_EQ(row(), saved);
    EXPECT_TRUE(h.window().waitCue().enabled());
    ASSERT_TRUE(activate(accounts));
    h.mark();
    press(accounts, Qt::Key_Up);
    EXPECT_EQ(h.spokenSinceMark(), QStringList{"a@example.test POPサーバー pop.a"});

    change({Qt::Key_Down}, Qt::Key_Escape);
    EXPECT_FALSE(moves_during);
    EXPECT_EQ(speech.settings().rate, 160);
    EXPECT_TRUE(h.window().feedback().move_speech());
    EXPECT_TRUE(h.window().waitCue().enabled());
    EXPECT_EQ(row(), saved);
    EXPECT_EQ(h.spoken().last(), "音声の設定を元に戻しました");

    // The cue switched on sounds while a check keeps the window waiting long: a tone, no word.
    const int cues = h.window().waitCue().cuesPlayed();
    h.component.onRcvMail = [](const QString&, const QString&, const QString&) -> MailArray {
        QThread::msleep(2600);
        return QStringList{"0 0"};
    };
    h.mark();
    h.trigger("mail_check");
    const int played = h.window().waitCue().cuesPlayed() - cues;
    EXPECT_TRUE(played == 1 || played == 2) << played;
    for (const QString& said : h.spokenSinceMark()) EXPECT_FALSE(said.contains("合図"));
}
