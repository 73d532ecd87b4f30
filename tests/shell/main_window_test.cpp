// The main window: its start-up, a database it refuses, its menus, focus and ending.

#include "mailbox/flex_grid.h"
#include "support/window_harness.h"

#include <QAction>
#include <QApplication>
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
    EXPECT_EQ(h.spoken().value(0), "09時05分");
    EXPECT_EQ(h.window().windowTitle(), "Quorvel Mailer V 2.0");
    EXPECT_EQ(h.w().shortcut01->text(),
              "[ctrl-A:メール一覧　ctrl-N:メール作成 CTRL-R:返信 CTRL-P:件名");
    EXPECT_EQ(h.w().shortcut02->text(),
              "[矢印:選択 ENTER:読む INS:送信者をアドレス帳へ登録 DEL:削除 ESC:返信 SPACE:移動]");
    EXPECT_EQ(h.parts().splitter->pane_total_height(), 8190);
    EXPECT_EQ(h.parts().mail_list->current_folder(), "受信フォルダー");
    EXPECT_TRUE(h.w().MSFlexGrid1->hasFocus());
    EXPECT_TRUE(QFile::exists(h.paths().mail_dir));
}

TEST(MainWindowStartUp, RefusesAForeignDatabaseAloudAndLeavesIt) {
    WindowHarness h;
    QFile f(h.dataDir() + "/quorvel_mail.mdb");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("not a database at all, just text") > 0);
    f.close();
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.window().exit_code(), 1);
    ASSERT_EQ(h.spoken().size(), 1);
    EXPECT_TRUE(h.spoken().front().contains("quorvel_mail.mdb"));
    EXPECT_EQ(h.w().cmd_message->text(), h.spoken().front());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "not a database at all, just text");
}

TEST(MainWindowMenus, CaptionsNamesAndShortcuts) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    QStringList seen;
    for (QAction* a : h.window().menuBar()->actions()) seen << a->text();
    EXPECT_EQ(seen.join(' '), "ファイル(&F) 編集 表示(&V) ツール(&T) メッセージ(&M) ヘルプ(&H)");
    for (const char* entry : {"newmail|新規作(&N)|",
                              "fend|終了(&X)|",
                              "display_mail_list|受信メール一覧|",
                              "chose_folder|フォルダへ移動(&G)|Ctrl+Y",
                              "receive|送受信(&S)|Ctrl+M",
                              "mail_check|メールチェック(&C)|",
                              "speak_unread_mail|未読メールを読む(&R)|Ctrl+U",
                              "read_subject|メール表題を読む(&P)|Ctrl+P",
                              "t_address|アドレス帳(&B)|",
                              "t_add_address|送信者をアドレス帳に登録する(&D)|",
                              "t_account|アカウント(&A)|",
                              "t_option|オプション(&O)|",
                              "t_speech|音声の設定(&V)|",
                              "speech_repeat|読み上げを繰り返す(&E)|F2",
                              "speech_history|読み上げ履歴(&H)|Shift+F2",
                              "msg_create|メッセージの作成(&N)|Ctrl+N",
                              "move_to_mail_list|メール一覧へ移動(&A)|Ctrl+A",
                              "msg_confirtm|作成したメールの確認|",
                              "msg_template|ひな形(&U)|",
                              "msg_replay|送信者への返信(&R)|Ctrl+R",
                              "help_help|音声説明|F1",
                              "htmlhelp|ＨＴＭＬ説明(&R)|"}) {
        const QStringList e = QString(entry).split('|');
        QAction* a = h.window().action(e[0]);
        ASSERT_NE(a, nullptr) << entry;
        EXPECT_EQ(a->text() + '|' + a->shortcut().toString(), e[1] + '|' + e[2]) << entry;
    }
    // The tool menu keeps its separators where they belong; the voice's own entries come last.
    QStringList shape;
    for (QAction* a : h.window().menuBar()->findChild<QMenu*>("mnu_tool")->actions())
        shape << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    EXPECT_EQ(shape.join(' '),
              "receive mail_check speak_unread_mail read_subject - t_address t_add_address - "
              "t_account t_option - t_speech speech_repeat speech_history");
}

TEST(MainWindowFocus, TabWalksTheAreasAndColoursGuideAndHelpFollow) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    // A menu shortcut still reaches the menu from a text field.
    h.focus(h.w().mailto);
    h.type(QStringLiteral("abc"));
    h.key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(h.w().MSFlexGrid1->hasFocus());

    const QColor grey(200, 200, 200), white(255, 255, 255);
    const std::vector<std::pair<QWidget*, int>> walk = {{h.w().mailto, 4}, {h.w().subject, 4},
                                                        {h.w().body, 5},   {h.w().List1, 3},
                                                        {h.w().List2, 6},  {h.w().mailto, 4}};
    h.focus(h.w().mailto);
    for (size_t i = 1; i < walk.size(); ++i) {
        h.key(Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), walk[i].first) << i;
        EXPECT_EQ(h.focus().help_context, walk[i].second) << i;
        EXPECT_EQ(background(walk[i].first), grey) << i;
        EXPECT_EQ(background(walk[i - 1].first), white) << i;
    }
    h.focus(h.w().List2);
    EXPECT_EQ(h.w().shortcut02->text(), "[矢印:選択 DEL:削除 ESC:メール送信 ]");
}

TEST(MainWindowExit, TheMenuSaysFarewellAndPausesClosingEndsAtOnceSilently) {
    for (const bool by_menu : {true, false}) {
        WindowHarness h;
        ASSERT_TRUE(h.start());
        h.pauser.pauses.clear();  // the first-use pause of the start-up
        QStringList heard_at_pause;
        h.pauser.onPause = [&](int) { heard_at_pause = h.spokenSinceMark(); };
        h.mark();
        by_menu ? h.trigger(QStringLiteral("fend")) : (void)h.window().close();
        EXPECT_EQ(heard_at_pause, by_menu ? QStringList{"プログラムを終了します"} : QStringList{});
        EXPECT_EQ(h.pauser.pauses, by_menu ? std::vector<int>{4} : std::vector<int>{});
        EXPECT_EQ(h.endedWith, std::optional<int>(0));
        EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    }
}
