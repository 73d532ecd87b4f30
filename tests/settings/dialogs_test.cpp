// The settings dialogs as designed, and every dialog speaking with the one voice of
// core/dialog_voice.h.
#include "compose/voice_recorder.h"
#include "core/feedback.h"
#include "core/twips.h"
#include "support/golden.h"
#include "support/settings_window.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
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

// Each dialog opened, walked with TAB and back with Shift+TAB, F2 pressed and closed, is heard
// as dialog_walks.txt has it: greeting, every control in tab order, the repeat, the closing (a
// "-" is heard as a blank, the password never; TAB stays on the options page shown). The first
// time, its controls sit as dialog_layout.txt has them: dialog, name, twips left top width
// height, caption.
TEST(DialogVoice, EveryDialogSpeaksOnOpeningAtEveryStepAndOnClosingAndSitsWhereDesigned) {
    SettingsWindow t(2, 1, [](MailStore& db) {
        return db.updateNewsSite(QStringLiteral("https://news.example.test/rss.xml"));
    });
    QHash<QString, QStringList> designed;
    QString section;
    const QStringList layout = golden_lines("settings/dialog_layout.txt");
    QHash<QString, bool> placed;
    for (const QString& line : golden_lines("settings/dialog_walks.txt")) {
        if (line.startsWith(u'['))
            section = line.mid(1, line.size() - 2);
        else
            designed[section] << line;
    }
    AccountList* list = nullptr;
    auto editor = [&](int row, const char* button) {
        EXPECT_EQ(t.list(), list);  // kept, with its rows, from one opening to the next
        list->list()->setCurrentRow(row);
        t.h.mark();  // after the list's own greeting
        click(list, button);
        return t.editor();
    };
    auto escape = [](QDialog* d) { press(d, Qt::Key_Escape); };
    const std::tuple<const char*, std::function<QDialog*()>, std::function<void(QDialog*)>>
        dialogs[] = {
            {"account list", [&] { return list = t.list(); },
             [](QDialog* d) { click(d, "Command4"); }},
            {"new account", [&] { return editor(-1, "Command1"); }, escape},
            {"account a", [&] { return editor(0, "Command2"); },
             [](QDialog* d) {
                 static_cast<AccountEditor*>(d)->field(0)->setText(QStringLiteral("changed"));
                 click(d, "Command2");
             }},
            {"options", [&] { return t.options(); },
             [](QDialog* d) {
                 child<QPlainTextEdit>(d, "signature1")->setPlainText(QStringLiteral("draft"));
                 click(d, "cmdCancel");
             }},
            {"message box",
             [&] {
                 auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("確認"),
                                             QStringLiteral("削除しますか"), QMessageBox::Ok,
                                             &t.h.window());
                 box->open();
                 return box;
             },
             escape},
        };
    for (const auto& [name, open, close] : dialogs) {
        t.h.mark();
        QDialog* dialog = open();
        ASSERT_TRUE(activate(dialog));
        walk_dialog(dialog, [&] { return t.h.spoken(); });
        EXPECT_EQ(t.h.w().cmd_message->text(), t.h.spoken().last());  // shown as it is said
        EXPECT_EQ(background(QApplication::focusWidget()), t.h.focus().focus_color);
        press(dialog, Qt::Key_F2);  // the voice's own keys work here too
        const QString tag = dialog->objectName();
        for (const QString& line : std::exchange(placed[tag], true) ? QStringList() : layout) {
            const QStringList f = line.split(u' ');
            if (f[0] != tag) continue;
            QWidget* c = child(dialog, qPrintable(f[1]));
            EXPECT_EQ(c->geometry(), QRect(twips(f[2].toInt()), twips(f[3].toInt()),
                                           twips(f[4].toInt()), twips(f[5].toInt())))
                << line.toStdString();
            const char* caption = c->property("text").isValid() ? "text" : "title";
            EXPECT_EQ(c->property(caption).toString(), f.value(6)) << line.toStdString();
        }
        close(dialog);
        EXPECT_EQ(t.h.spokenSinceMark(), designed.value(QLatin1String(name))) << name;
    }
    EXPECT_FALSE(list->isModal());  // its caption is heard
    EXPECT_EQ(t.editor()->field(3)->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(t.editor()->field(6)->font().pointSize(), 9);
    // Closing saved nothing.
    EXPECT_EQ(t.row(t.ids[0])->pop, QStringLiteral("pop.a"));
    EXPECT_EQ(t.h.accounts().accounts[1].pop, QStringLiteral("pop.a"));
    EXPECT_EQ(t.h.store().signature()->signature, QString());
}

TEST(MenuEntries, NewMailBeginsAMailAsTheMessageMenuDoesAndTheTemplateEntrySaysWhatThereIs) {
    SettingsWindow t;
    QStringList heard[2];
    for (int i : {0, 1}) {
        t.h.focus(t.h.w().List2);
        t.h.mark();
        t.h.trigger(QLatin1String(i ? "newmail" : "msg_create"));
        heard[i] = t.h.spokenSinceMark();
        EXPECT_EQ(QApplication::focusWidget(), t.h.w().mailto);
    }
    EXPECT_TRUE(!heard[0].isEmpty() && heard[1] == heard[0]);
    t.h.trigger(QStringLiteral("msg_template"));
    const QStringList said = t.h.spokenSinceMark();
    EXPECT_EQ(said, QStringList{t.h.w().cmd_message->text()});
    EXPECT_TRUE(said.value(0).startsWith(QStringLiteral("ひな形はありません")));
}

TEST(OptionsDialog, ShowsTheTablesCyclesItsPagesRefusesBadSecondsAloudAndSavesOnOk) {
    const QString signature = QStringLiteral("山田太郎\r\nyamada@example.test");
    SettingsWindow t(1, 0, [&](MailStore& db) {
        return db.updateNewsSel(true) && db.updateSignature(signature) && db.updateVoiceSec(45);
    });
    MailStore& db = t.h.store();
    OptionState& memory = t.h.options();
    EXPECT_EQ(std::pair(memory.signature_text, memory.record_seconds), std::pair(signature, 45));
    ASSERT_TRUE(db.updateSignature(QStringLiteral("新しい署名")) && db.updateVoiceSec(12));
    // A recording waiting to be sent keeps its name when the dialog reads the options again.
    memory.voice_file = QStringLiteral("quorvel-a-20261205090000");
    const QString recording = t.h.parts().recorder->voice_path();

    OptionsDialog* d = t.options();
    EXPECT_TRUE(d->isVisible() && !d->isModal());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("ｵﾌﾟｼｮﾝ"));
    expect_page(d, 0);
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
    EXPECT_EQ(t.h.spokenSinceMark().value(0), QStringLiteral("音声録音 タブ"));
    EXPECT_EQ(QApplication::focusWidget(), child(d, "rec_sec"));
    press(d, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    expect_page(d, 2);
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
