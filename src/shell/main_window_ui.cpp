// The main window's controls and menu bar, placed in twips as the window was designed.
#include "shell/main_window.h"

#include "core/dialog_voice.h"
#include "core/twips.h"
#include "mailbox/flex_grid.h"
#include "shell/shortcut_guard.h"

#include <QAction>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>

namespace qv {

namespace {

QLabel* caption_strip(QWidget* parent, const QString& text, const char* name, double left,
                      double top, double width) {
    auto* strip = new QLabel(text, parent);
    strip->setObjectName(QLatin1String(name));
    strip->setFrameShape(QFrame::StyledPanel);
    strip->setStyleSheet(
        QStringLiteral("QLabel { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, "
                       "stop:0 #2f5f8f, stop:1 #8fb4d9); color: white; padding-left: 4px; }"));
    place(strip, left, top, width, 300);
    return strip;
}

struct MenuEntry {
    const char* caption;  // empty for a separator
    const char* name;
    const char* shortcut;
};

struct Menu {
    const char* caption;
    const char* name;
    std::vector<MenuEntry> entries;
};

const std::vector<Menu>& menu_table() {
    static const std::vector<Menu> menus = {
        {"ファイル(&F)", "mnu_file", {{"新規作(&N)", "newmail", ""}, {"終了(&X)", "fend", ""}}},
        {"編集", "mnu_edit", {{"受信メール一覧", "display_mail_list", ""}}},
        {"表示(&V)", "mnu_view", {{"フォルダへ移動(&G)", "chose_folder", "Ctrl+Y"}}},
        {"ツール(&T)",
         "mnu_tool",
         {{"送受信(&S)", "receive", "Ctrl+M"},
          {"メールチェック(&C)", "mail_check", ""},
          {"未読メールを読む(&R)", "speak_unread_mail", "Ctrl+U"},
          {"メール表題を読む(&P)", "read_subject", ""},
          {"", "", ""},
          {"アドレス帳(&B)", "t_address", ""},
          {"送信者をアドレス帳に登録する(&D)", "t_add_address", ""},
          {"", "", ""},
          {"アカウント(&A)", "t_account", ""},
          {"オプション(&O)", "t_option", ""},
          {"", "", ""},
          {"音声の設定(&V)", "t_speech", ""},
          {"読み上げを繰り返す(&E)", "speech_repeat", "F2"},
          {"読み上げ履歴(&H)", "speech_history", "Shift+F2"}}},
        {"メッセージ(&M)",
         "mnu_message",
         {{"メッセージの作成(&N)", "msg_create", "Ctrl+N"},
          {"メール一覧へ移動(&A)", "move_to_mail_list", "Ctrl+A"},
          {"作成したメールの確認", "msg_confirtm", ""},
          {"", "", ""},
          {"ひな形(&U)", "msg_template", ""},
          {"", "", ""},
          {"送信者への返信(&R)", "msg_replay", "Ctrl+R"}}},
        {"ヘルプ(&H)",
         "mnu_help",
         {{"音声説明", "help_help", "F1"}, {"ＨＴＭＬ説明(&R)", "htmlhelp", ""}}},
    };
    return menus;
}

// What each control is called by a screen reader, and what it is for: the program can be used
// with the user's own screen reader and our voice writing only the transcript.
void name_controls(const Widgets& w) {
    set_control_texts({
        {w.MSFlexGrid1, "メール一覧",
         "いまのフォルダーのメール。ENTERキーで読み、DELキーで削除、ESCキーで返信します"},
        {w.bodytext, "メール本文", "読んでいるメールの本文"},
        {w.List1, "フォルダー",
         "メールを分けて入れるフォルダーの一覧。INSキーで選んだメールを移します"},
        {w.List2, "アドレス帳", "登録した宛先の一覧。DELキーで削除、ESCキーでメールを送ります"},
        {w.mailto, "送信先", "送るメールの宛先"},
        {w.subject, "表題", "送るメールの表題"},
        {w.body, "本文", "送るメールの本文。INSキーで音声を録音し、ESCキーで送信します"},
        {w.cmd_message, "状態", "いま読み上げた案内や結果"},
        {w.shortcut01, "主なキー", "Ctrlキーを使う主な操作"},
        {w.shortcut02, "キーの案内", "いまの場所で使えるキー"},
        {w.shortcut03, "読み上げのキー", "読み上げを止める、もう一度聞く、履歴を見るキー"},
        {w.mic, "録音中", "音声を録音している間だけ表示します"},
        {w.imgsplitter, "区切り", "メール一覧と本文の境目。ドラッグで高さを変えます"},
        {w.picsplitter, "区切りの位置", "ドラッグしている間の区切りの位置"},
    });
}

}  // namespace

void MainWindow::build_menus() {
    QList<QKeySequence> shortcuts;
    for (const Menu& m : menu_table()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(m.caption));
        menu->setObjectName(QLatin1String(m.name));
        for (const MenuEntry& e : m.entries) {
            if (!*e.caption) {
                menu->addSeparator();
                continue;
            }
            QAction* a = menu->addAction(QString::fromUtf8(e.caption));
            a->setObjectName(QLatin1String(e.name));
            if (*e.shortcut) {
                a->setShortcut(QKeySequence(QLatin1String(e.shortcut)));
                a->setShortcutContext(Qt::WindowShortcut);
                shortcuts << a->shortcut();
            }
            addAction(a);  // shortcuts work while the menu bar is closed
        }
    }
    // Text fields would take Ctrl+A, Ctrl+Y, ... for their own editing; the menu's keys win.
    guard_shortcuts(
        {w_.mailto, w_.subject, w_.body, w_.bodytext, w_.MSFlexGrid1, w_.List1, w_.List2},
        shortcuts);
}

void MainWindow::build_widgets() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption());
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    w_.Form1 = this;

    QFont status_font = font();
    status_font.setPointSizeF(status_font.pointSizeF() * 1.3);

    w_.shortcut01 = new QLabel(client);
    w_.shortcut01->setObjectName(QStringLiteral("shortcut01"));
    place(w_.shortcut01, 120, 120, 12615, 300);
    w_.shortcut02 = new QLabel(client);
    w_.shortcut02->setObjectName(QStringLiteral("shortcut02"));
    place(w_.shortcut02, 120, 480, 12615, 300);
    // The keys of the voice itself, which work everywhere.
    w_.shortcut03 = new QLabel(client);
    w_.shortcut03->setObjectName(QStringLiteral("shortcut03"));
    place(w_.shortcut03, 120, 1350, 12615, 300);
    w_.cmd_message = new QLabel(client);
    w_.cmd_message->setObjectName(QStringLiteral("cmd_message"));
    w_.cmd_message->setFont(status_font);
    w_.cmd_message->setFrameShape(QFrame::Panel);
    w_.cmd_message->setFrameShadow(QFrame::Sunken);
    place(w_.cmd_message, 120, 900, 12615, 420);

    caption_strip(client, QStringLiteral("フォルダー"), "cap_folder", 120, 1680, 2880);
    w_.List1 = new QListWidget(client);
    w_.List1->setObjectName(QStringLiteral("List1"));
    place(w_.List1, 120, 1980, 2880, 3000);
    caption_strip(client, QStringLiteral("アドレス帳"), "cap_address", 120, 5100, 2880);
    w_.List2 = new QListWidget(client);
    w_.List2->setObjectName(QStringLiteral("List2"));
    place(w_.List2, 120, 5400, 2880, 4575);

    w_.MSFlexGrid1 = new FlexGrid(client);
    w_.MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    w_.MSFlexGrid1->setFocusPolicy(Qt::ClickFocus);
    place(w_.MSFlexGrid1, 3120, 1680, 9495, 4695);

    w_.imgsplitter = new QLabel(client);
    w_.imgsplitter->setObjectName(QStringLiteral("imgsplitter"));
    w_.imgsplitter->setCursor(Qt::SizeVerCursor);
    place(w_.imgsplitter, 3120, 6360, 9615, 135);
    w_.picsplitter = new QFrame(client);
    w_.picsplitter->setObjectName(QStringLiteral("picsplitter"));
    w_.picsplitter->setFrameShape(QFrame::Box);
    w_.picsplitter->setStyleSheet(QStringLiteral("QFrame { background: #404040; }"));
    place(w_.picsplitter, 3120, 6360, 9495, 135);
    w_.picsplitter->hide();

    w_.bodytext = new QTextEdit(client);
    w_.bodytext->setObjectName(QStringLiteral("bodytext"));
    w_.bodytext->setReadOnly(true);
    w_.bodytext->setFocusPolicy(Qt::ClickFocus);
    place(w_.bodytext, 3120, 6480, 9495, 3495);

    caption_strip(client, QStringLiteral("送信先"), "cap_mailto", 3120, 10080, 1200);
    w_.mailto = new QLineEdit(client);
    w_.mailto->setObjectName(QStringLiteral("mailto"));
    place(w_.mailto, 4380, 10080, 8235, 300);
    caption_strip(client, QStringLiteral("表題"), "cap_subject", 3120, 10440, 1200);
    w_.subject = new QLineEdit(client);
    w_.subject->setObjectName(QStringLiteral("subject"));
    place(w_.subject, 4380, 10440, 8235, 300);
    caption_strip(client, QStringLiteral("本文"), "cap_body", 3120, 10800, 1200);
    w_.body = new QPlainTextEdit(client);
    w_.body->setObjectName(QStringLiteral("body"));
    w_.body->setTabChangesFocus(true);
    place(w_.body, 3120, 11100, 9495, 1800);

    w_.mic = new QLabel(client);
    w_.mic->setObjectName(QStringLiteral("mic"));
    w_.mic->setText(QStringLiteral("🎤"));
    w_.mic->setAlignment(Qt::AlignCenter);
    w_.mic->setStyleSheet(QStringLiteral("QLabel { background: #c00000; color: white; }"));
    place(w_.mic, 12720, 1680, 600, 600);
    w_.mic->hide();

    w_.Timer1 = new QTimer(this);
    w_.Timer1->setObjectName(QStringLiteral("Timer1"));

    for (QWidget* w : {static_cast<QWidget*>(w_.List1), static_cast<QWidget*>(w_.List2),
                       static_cast<QWidget*>(w_.mailto), static_cast<QWidget*>(w_.subject),
                       static_cast<QWidget*>(w_.body)}) {
        w->setFocusPolicy(Qt::StrongFocus);
    }
    setTabOrder(w_.mailto, w_.subject);
    setTabOrder(w_.subject, w_.body);
    setTabOrder(w_.body, w_.List1);
    setTabOrder(w_.List1, w_.List2);
    setTabOrder(w_.List2, w_.mailto);
    name_controls(w_);
    resize(twips(12855), twips(13400));
}

QAction* MainWindow::action(const QString& name) const { return findChild<QAction*>(name); }

}  // namespace qv
