#include "mailbox/flex_grid.h"
#include "support/window_harness.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::WindowHarness;

TEST(MainWindowStartUp, SpeaksTheTimeFirstAndSetsUpTheWindow) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    ASSERT_FALSE(h.spoken().isEmpty());
    EXPECT_EQ(h.spoken().front(), QStringLiteral("09時05分"));
    EXPECT_EQ(h.window().windowTitle(), QStringLiteral("Quorvel Mailer V 2.0"));
    EXPECT_EQ(h.w().shortcut01->text(),
              QStringLiteral("[ctrl-A:メール一覧　ctrl-N:メール作成 CTRL-R:返信 CTRL-P:件名"));
    EXPECT_EQ(h.w().shortcut02->text(),
              QStringLiteral("[矢印:選択 ENTER:読む INS:送信者をアドレス帳へ登録 DEL:削除 "
                             "ESC:返信 SPACE:移動]"));
    EXPECT_EQ(h.parts().splitter->pane_total_height(), 8190);
    EXPECT_EQ(h.parts().mail_list->current_folder(), QStringLiteral("受信フォルダー"));
    EXPECT_EQ(h.focus().focus_color, QColor(200, 200, 200));
    EXPECT_EQ(h.focus().normal_color, QColor(255, 255, 255));
    EXPECT_TRUE(QDir(h.paths().mail_dir).exists());
    EXPECT_TRUE(QFile::exists(QDir(h.dataDir()).filePath(QStringLiteral("quorvel_mail.mdb"))));
}

TEST(MainWindowStartUp, TheTimeHasTwoDigitHoursAndMinutes) {
    WindowHarness h;
    h.clock.set(QDateTime(QDate(2026, 1, 2), QTime(14, 30, 59)));
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.spoken().front(), QStringLiteral("14時30分"));
}

TEST(MainWindowStartUp, RefusesAForeignDatabaseAloudAndLeavesIt) {
    WindowHarness h;
    const QString path = QDir(h.dataDir()).filePath(QStringLiteral("quorvel_mail.mdb"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database at all, just text");
    f.close();
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.window().exit_code(), 1);
    ASSERT_EQ(h.spoken().size(), 1);
    EXPECT_TRUE(h.spoken().front().contains(QStringLiteral("quorvel_mail.mdb")));
    EXPECT_EQ(h.w().cmd_message->text(), h.spoken().front());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("not a database at all, just text"));
}

TEST(MainWindowMenus, CaptionsNamesAndShortcuts) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    const QStringList menus = {QStringLiteral("ファイル(&F)"),   QStringLiteral("編集"),
                               QStringLiteral("表示(&V)"),       QStringLiteral("ツール(&T)"),
                               QStringLiteral("メッセージ(&M)"), QStringLiteral("ヘルプ(&H)")};
    QStringList seen;
    for (QAction* a : h.window().menuBar()->actions()) seen << a->text();
    EXPECT_EQ(seen, menus);

    struct Entry {
        const char* name;
        const char* caption;
        const char* keys;
    };
    const Entry entries[] = {
        {"newmail", "新規作(&N)", ""},
        {"fend", "終了(&X)", ""},
        {"display_mail_list", "受信メール一覧", ""},
        {"chose_folder", "フォルダへ移動(&G)", "Ctrl+Y"},
        {"receive", "送受信(&S)", "Ctrl+M"},
        {"mail_check", "メールチェック(&C)", ""},
        {"speak_unread_mail", "未読メールを読む(&R)", "Ctrl+U"},
        {"read_subject", "メール表題を読む(&P)", "Ctrl+P"},
        {"t_address", "アドレス帳(&B)", ""},
        {"t_add_address", "送信者をアドレス帳に登録する(&D)", ""},
        {"t_account", "アカウント(&A)", ""},
        {"t_option", "オプション(&O)", ""},
        {"t_speech", "音声の設定(&V)", ""},
        {"speech_repeat", "読み上げを繰り返す(&E)", "F2"},
        {"speech_history", "読み上げ履歴(&H)", "Shift+F2"},
        {"msg_create", "メッセージの作成(&N)", "Ctrl+N"},
        {"move_to_mail_list", "メール一覧へ移動(&A)", "Ctrl+A"},
        {"msg_confirtm", "作成したメールの確認", ""},
        {"msg_template", "ひな形(&U)", ""},
        {"msg_replay", "送信者への返信(&R)", "Ctrl+R"},
        {"help_help", "音声説明", "F1"},
        {"htmlhelp", "ＨＴＭＬ説明(&R)", ""},
    };
    for (const Entry& e : entries) {
        QAction* a = h.window().action(QLatin1String(e.name));
        ASSERT_NE(a, nullptr) << e.name;
        EXPECT_EQ(a->text(), QString::fromUtf8(e.caption)) << e.name;
        EXPECT_EQ(a->shortcut(), QKeySequence(QLatin1String(e.keys))) << e.name;
    }
    // The tool menu keeps its separators where they belong; the voice's own entries come last.
    QMenu* tool = h.window().menuBar()->findChild<QMenu*>(QStringLiteral("mnu_tool"));
    ASSERT_NE(tool, nullptr);
    QStringList shape;
    for (QAction* a : tool->actions())
        shape << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    EXPECT_EQ(shape.join(QLatin1Char(' ')),
              QStringLiteral("receive mail_check speak_unread_mail read_subject - t_address "
                             "t_add_address - t_account t_option - t_speech speech_repeat "
                             "speech_history"));
}

TEST(MainWindowMenus, ShortcutKeysReachTheMenuFromATextField) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    int fired = 0;
    QObject::connect(h.window().action(QStringLiteral("move_to_mail_list")), &QAction::triggered,
                     [&] { ++fired; });
    h.focus(h.w().mailto);
    h.type(QStringLiteral("abc"));
    h.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(fired, 1);
}

TEST(MainWindowExit, FarewellPauseThenEndWithZero) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.pauser.pauses.clear();  // the first-use pause of the start-up
    QStringList heardAtPause;
    h.pauser.onPause = [&](int) { heardAtPause = h.spoken(); };
    h.mark();
    h.trigger(QStringLiteral("fend"));
    EXPECT_EQ(h.spokenSinceMark(), QStringList{QStringLiteral("プログラムを終了します")});
    EXPECT_EQ(h.pauser.pauses, std::vector<int>{4});
    EXPECT_EQ(heardAtPause.back(), QStringLiteral("プログラムを終了します"));
    ASSERT_TRUE(h.endedWith.has_value());
    EXPECT_EQ(*h.endedWith, 0);
}

TEST(MainWindowExit, ClosingTheWindowEndsAtOnceWithoutAWord) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    h.pauser.pauses.clear();  // the first-use pause of the start-up
    h.mark();
    h.window().close();
    EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    EXPECT_TRUE(h.pauser.pauses.empty());
    ASSERT_TRUE(h.endedWith.has_value());
    EXPECT_EQ(*h.endedWith, 0);
}

TEST(MainWindowFocus, ColoursGuideAndHelpFollowTheFocus) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    const QColor grey(200, 200, 200), white(255, 255, 255);
    h.focus(h.w().List1);
    EXPECT_EQ(background(h.w().List1), grey);
    EXPECT_EQ(h.focus().help_context, 3);
    h.focus(h.w().List2);
    EXPECT_EQ(background(h.w().List1), white);
    EXPECT_EQ(background(h.w().List2), grey);
    EXPECT_EQ(h.w().shortcut02->text(), QStringLiteral("[矢印:選択 DEL:削除 ESC:メール送信 ]"));
    EXPECT_EQ(h.focus().help_context, 6);
    // TAB walks mailto, subject, body, folders, addresses and round again.
    h.focus(h.w().mailto);
    EXPECT_EQ(h.focus().help_context, 4);
    h.key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), h.w().subject);
    EXPECT_EQ(background(h.w().mailto), white);
    h.key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), h.w().body);
    EXPECT_EQ(h.focus().help_context, 5);
    EXPECT_EQ(background(h.w().body), grey);
    h.key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), h.w().List1);
    h.key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), h.w().List2);
    h.key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), h.w().mailto);
}
