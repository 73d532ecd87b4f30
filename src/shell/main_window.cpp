#include "shell/main_window.h"

#include "core/clock.h"
#include "core/control_events.h"
#include "core/run_and_wait.h"
#include "core/wait.h"
#include "folders/address_book.h"
#include "folders/folder_list.h"
#include "help/help.h"
#include "layout/splitter.h"
#include "mailbox/flex_grid.h"
#include "mailbox/mail_list.h"
#include "news/news.h"
#include "receive/receiver.h"
#include "settings/accounts.h"
#include "speech/speech_channel.h"
#include "speech/wait_cue.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include <cstdio>

namespace qv {

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)), out_(services_.speech) {
    paths_.program_dir = services_.program_dir;
    paths_.data_dir = services_.data_dir;
    build_widgets();
    build_menus();
    out_.attach(w_.cmd_message, w_.shortcut02);
    runner_ = std::make_unique<RunAndWait>(services_.waiter, out_, w_.Timer1, paths_.program_dir);
    end_program_ = [](int code) { QCoreApplication::exit(code); };
    connect(action(QStringLiteral("fend")), &QAction::triggered, this, [this] { fend_Click(); });
    wire_subsystems();
}

MainWindow::~MainWindow() {
    services_.waiter.setObserver(nullptr);
    // The controls and the dialogs go first, while the state their focus handlers and voices use
    // still exists: a control that has the focus is told it loses it as the window is taken down.
    qDeleteAll(findChildren<QDialog*>(Qt::FindDirectChildrenOnly));
    delete centralWidget();
}

void MainWindow::wire_subsystems() {
    // Who asks is made before whom it asks: the wire files connect signals to the subsystems
    // already made.
    wire_speech();
    wire_settings();
    wire_mailbox();
    wire_folders();
    wire_compose();
    wire_receive();
    wire_help();
    wire_layout();
    plain_focus_convention();
}

void MainWindow::plain_focus_convention() {
    // Until a control's own subsystem takes it over, it follows the plain focus convention.
    struct Plain {
        QWidget* control;
        QString guide;
        int help;
    };
    const QString compose_guide = QStringLiteral("[TAB:次 ]");
    const Plain plain[] = {
        {w_.MSFlexGrid1, QString(), 2},
        {w_.List1, QStringLiteral("[矢印:選択 INS:メール移動 ]"), 3},
        {w_.mailto, compose_guide, 4},
        {w_.subject, compose_guide, 4},
        {w_.body, QStringLiteral("[INS:音声録音 ENTER:作成したメールの確認 ESC:メール送信 ]"), 5},
        {w_.List2, QStringLiteral("[矢印:選択 DEL:削除 ESC:メール送信 ]"), 6},
    };
    for (const Plain& p : plain) {
        if (claimed_.contains(p.control)) continue;
        attach_handlers(p.control, {[this, p] { focus_gain(out_, p.control, p.guide, p.help); },
                                    [this, p] { focus_loss(out_, p.control); }, nullptr});
    }
}

bool MainWindow::open_database() {
    const QString path = QDir(paths_.data_dir).absoluteFilePath(MailStore::fileName());
    Waiter& waiter = services_.waiter;
    if (store_.open(path, [&waiter](const std::function<void()>& work) { waiter.run(work); })) {
        return true;
    }
    QString message;
    switch (store_.openFailure()) {
        case OpenFailure::NotADatabase:
            message =
                QStringLiteral(
                    "%1 "
                    "はこのプログラムのデータベースではないため開けません。ファイルはそのままにして"
                    "終了します")
                    .arg(MailStore::fileName());
            break;
        case OpenFailure::Damaged:
            message = QStringLiteral(
                          "データベース %1 が壊れています。ファイルはそのままにして終了します。"
                          "このファイルを別の場所に残してから、バックアップのファイルに置き換えて"
                          "ください")
                          .arg(MailStore::fileName());
            break;
        case OpenFailure::MissingTable:
            message =
                QStringLiteral("%1 に必要な表がありません。ファイルはそのままにして終了します")
                    .arg(MailStore::fileName());
            break;
        default:
            message = QStringLiteral("データベース %1 を開けません。終了します")
                          .arg(MailStore::fileName());
            break;
    }
    std::fprintf(stderr, "quorvel: %s (%s: %s)\n", qUtf8Printable(message), qUtf8Printable(path),
                 qUtf8Printable(store_.lastError()));
    out_.tell(message);
    exit_code_ = 1;
    return false;
}

void MainWindow::speak_time() {
    out_.speak(services_.clock.now().toString(QStringLiteral("HH時mm分")));
}

bool MainWindow::Form_Load() {
    Waiter& waiter = services_.waiter;
    // Keys typed before the start-up is over are handled after it, in order, even those that a
    // closing dialog's loop would hand over early.
    const Waiter::KeyHold hold(this);
    // 1. The database.
    if (!open_database()) return false;
    // The user's voice, before its first word.
    load_speech_settings();
    // 2. The fixed guide and the mail list's key guide.
    w_.shortcut01->setText(shortcut01_text());
    out_.shortcut(mail_list_guide());
    // 3. The window opens maximised (the caller shows it).
    // 4. The height the mail list and the mail text share.
    parts_.splitter->set_pane_total_height(3495 + 4695);
    // 5. The focus colours.
    out_.focus().focus_color = QColor(200, 200, 200);
    out_.focus().normal_color = QColor(255, 255, 255);
    // 6.-8. The microphone picture, the mail component and the voice are ready.
    // 9. The time.
    speak_time();
    // 10. Accounts and options.
    paths_.mail_dir = QDir(paths_.data_dir).absoluteFilePath(QStringLiteral("mail"));
    QDir().mkpath(paths_.mail_dir);
    parts_.accounts->load_startup_settings(*parts_.account_dialogs, *parts_.options,
                                           services_.pauser);
    waiter.settle();
    // 11.-15. Help, the mail list, the folders, the address book, the news. Between the steps
    // the window repaints; keys pressed meanwhile wait until the start-up is over.
    parts_.help->load_help();
    waiter.settle();
    parts_.mail_list->init_mail_list();
    waiter.settle();
    parts_.folders->read_folders_from_db();
    waiter.settle();
    parts_.addresses->read_address_from_db();
    waiter.settle();
    parts_.news->speak_news();
    waiter.settle();
    // 16.-17. New mail: what an interrupted run left unstored is stored first, so the inbox
    // shown afterwards is complete; then the check, and receiving when some waits.
    parts_.receiver->store_left_over_mail();
    parts_.receiver->check_new_mail();
    if (parts_.receiver->waiting_mail_count() > 0) {
        parts_.receiver->receive_checked_mail();
    } else {
        parts_.receiver->finish_unfinished_receive();
    }
    // 18.-20. The inbox, its count and its unread mail.
    parts_.mail_list->set_current_folder(kInbox);
    parts_.mail_list->read_mail_from_db();
    parts_.mail_list->speak_unread_mail_Click();
    // 21. The header row's sender cell is current; the first mail is one arrow key away.
    w_.MSFlexGrid1->setCurrentCell(0, 1);
    // The user starts in the mail list, not in a compose field that would empty itself.
    w_.MSFlexGrid1->setFocus(Qt::OtherFocusReason);
    return true;
}

void MainWindow::end_program(int code) {
    ending_ = true;
    exit_code_ = code;
    end_program_(code);
}

void MainWindow::fend_Click() {
    out_.speak(QStringLiteral("プログラムを終了します"));
    services_.pauser.pause(4);
    end_program(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window ends the program at once, without a word.
    event->accept();
    if (!ending_) {
        services_.speech.silence();
        end_program(0);
    }
}

}  // namespace qv
