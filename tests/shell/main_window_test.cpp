// The main window: its start-up, a database it refuses, its menus, focus and ending.

#include "mailbox/flex_grid.h"
#include "support/dialog_walk.h"
#include "support/files.h"
#include "support/golden.h"
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
using namespace qv::test;

TEST(MainWindow, StartsWithTheTimeHasItsMenusAndTabWalksTheAreasAloud) {
    WindowHarness h;
    ASSERT_TRUE(h.start());
    EXPECT_EQ(h.spoken().value(0), "09時05分");
    // The first-use prompt once, its editor cancelled: nothing to poll, and the start-up goes on.
    EXPECT_EQ(h.spoken().count("はじめてのご使用です　メールアカウントの設定を行ってください"), 1);
    EXPECT_TRUE(h.spoken().contains("アカウント編集を閉じました") && h.component.calls.empty());
    EXPECT_EQ(h.window().windowTitle(), "Quorvel Mailer V 2.0");
    EXPECT_EQ(h.w().shortcut01->text(),
              "[ctrl-A:メール一覧　ctrl-N:メール作成 CTRL-R:返信 CTRL-P:件名");
    EXPECT_EQ(h.w().shortcut02->text(),
              "[矢印:選択 ENTER:読む INS:送信者をアドレス帳へ登録 DEL:削除 ESC:返信 SPACE:移動]");
    EXPECT_EQ(h.parts().splitter->pane_total_height(), 8190);
    EXPECT_EQ(h.parts().mail_list->current_folder(), "受信フォルダー");
    EXPECT_TRUE(h.w().MSFlexGrid1->hasFocus());
    EXPECT_TRUE(QFile::exists(h.paths().mail_dir));
    // Every menu with its entries (name|caption|shortcut) and separators, as the user finds them.
    QStringList menus;
    for (QAction* menu : h.window().menuBar()->actions()) {
        menus << menu->text();
        for (QAction* a : menu->menu()->actions())
            menus << (a->isSeparator() ? QStringLiteral("  -")
                                       : "  " + a->objectName() + '|' + a->text() + '|' +
                                             a->shortcut().toString());
    }
    EXPECT_EQ(menus, golden_lines("shell/menus.txt"));

    // TAB walks the areas; the colour, the key guide and the help follow.
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
    // Every control, visited with TAB and back with Shift+TAB, says where the user landed.
    h.focus(h.w().mailto);
    EXPECT_GE(walk_dialog(&h.window(), [&h] { return h.spoken(); }).size(), 10);
}

// The program's own run (tests/app) is heard refusing it; only the window shows the status line.
TEST(MainWindowStartUp, ShowsTheRefusalOfAForeignDatabaseAsItIsSaid) {
    WindowHarness h;
    ASSERT_TRUE(write_file(h.dataDir() + "/quorvel_mail.mdb", "not a database at all, just text"));
    EXPECT_FALSE(h.start());
    EXPECT_EQ(h.spoken(), QStringList{h.w().cmd_message->text()});
}

TEST(MainWindowExit, TheMenuSaysFarewellAndPausesClosingEndsAtOnceSilently) {
    for (const bool by_menu : {true, false}) {
        WindowHarness h;
        ASSERT_TRUE(h.start());
        h.pauser.pauses.clear();  // the first-use pause of the start-up
        QStringList heard_at_pause;
        h.pauser.onPause = [&](int) { heard_at_pause = h.spokenSinceMark(); };
        h.mark();
        by_menu ? h.trigger("fend") : (void)h.window().close();
        EXPECT_EQ(heard_at_pause, by_menu ? QStringList{"プログラムを終了します"} : QStringList{});
        EXPECT_EQ(h.pauser.pauses, by_menu ? std::vector<int>{4} : std::vector<int>{});
        EXPECT_EQ(h.endedWith, std::optional<int>(0));
        EXPECT_TRUE(h.spokenSinceMark().isEmpty());
    }
}
