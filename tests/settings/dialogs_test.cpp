// The settings dialogs as designed, and every dialog speaking with the one voice of
// core/dialog_voice.h; every control, the main window's too, has a name for a screen reader.
#include "core/feedback.h"
#include "core/twips.h"
#include "support/settings_window.h"

#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

// The lines of a file under tests/data/settings, without comments and blank lines.
QStringList data_lines(const char* name) {
    QFile file(QStringLiteral(QV_TEST_DATA_DIR "/settings/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) qFatal("cannot read %s", name);
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString& line) { return line.startsWith(u'#'); });
    return lines;
}

}  // namespace

TEST(SettingsDialogs, ControlsSitWhereDesignedWithTheirCaptions) {
    SettingsWindow t(3, 0, [](MailStore& db) {
        return db.updateNewsSite(QStringLiteral("https://news.example.test/rss.xml"));
    });
    AccountList* list = t.list();
    EXPECT_FALSE(list->isModal());  // its caption is heard: see dialog_walks.txt
    click(list, "Command1");
    EXPECT_EQ(t.editor()->field(3)->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(t.editor()->field(6)->font().pointSize(), 9);
    t.options();
    for (const QString& line : data_lines("dialog_layout.txt")) {
        const QStringList f = line.split(u' ');
        QWidget* c = child(child(&t.h.window(), qPrintable(f[0])), qPrintable(f[1]));
        EXPECT_EQ(c->geometry(), QRect(twips(f[2].toInt()), twips(f[3].toInt()),
                                       twips(f[4].toInt()), twips(f[5].toInt())))
            << line.toStdString();
        const char* caption = c->property("text").isValid() ? "text" : "title";
        EXPECT_EQ(c->property(caption).toString(), f.value(6)) << line.toStdString();
    }
}

// Each dialog opened, walked with TAB and back with Shift+TAB, F2 pressed and closed, is heard
// as dialog_walks.txt has it: greeting, every control in tab order, the repeat, the closing.
TEST(DialogVoice, EveryDialogSpeaksOnOpeningAtEveryStepAndOnClosing) {
    SettingsWindow t(2, 1);
    QHash<QString, QStringList> designed;
    QString section;
    for (const QString& line : data_lines("dialog_walks.txt")) {
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
        close(dialog);
        EXPECT_EQ(t.h.spokenSinceMark(), designed.value(QLatin1String(name))) << name;
    }
    for (QWidget* w : t.h.window().findChildren<QWidget*>()) {  // the main window's controls too
        if (w->focusPolicy() == Qt::NoFocus || w->focusProxy() || w->window() != &t.h.window())
            continue;
        EXPECT_FALSE(w->accessibleName().isEmpty() || w->accessibleDescription().isEmpty())
            << w->objectName().toStdString();
    }
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
