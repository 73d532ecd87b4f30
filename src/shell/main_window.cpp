#include "shell/main_window.h"

#include "core/control_events.h"
#include "core/platform.h"
#include "mail/mail_component.h"
#include "mailbox/flex_grid.h"
#include "speech/speech_channel.h"
#include "speech/wait_cue.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextEdit>

#include <cstdio>

namespace qv {

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      out_(services_.speech, nullptr, nullptr) {
    state_.program_dir = services_.program_dir;
    state_.data_dir = services_.data_dir;
    build_widgets();
    build_menus();
    out_.attach(w_.cmd_message, w_.shortcut02);
    runner_ = std::make_unique<RunAndWait>(state_, out_, w_.Timer1, services_.program_dir);
    end_program_ = [](int code) { QCoreApplication::exit(code); };
    hooks_.end_program = [this](int code) { end_program(code); };
    context_.reset(new Context{state_, w_, out_, store_, services_.component, hooks_,
                               services_.clock, services_.opener, *runner_});
    connect(action(QStringLiteral("fend")), &QAction::triggered, this, [this] { fend_Click(); });
    wire_subsystems();
}

MainWindow::~MainWindow() {
    // The controls go first, while the state and context their focus handlers use still exist:
    // a control that has the focus is told it loses it as the window is taken down.
    delete centralWidget();
}

void MainWindow::wire_subsystems() {
    wire_speech();
    wire_settings();
    wire_receive();
    wire_mailbox();
    wire_folders();
    wire_compose();
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
        attach_handlers(p.control,
                        {[this, p] { focus_gain(out_, state_, p.control, p.guide, p.help); },
                         [this, p] { focus_loss(state_, p.control); }, nullptr});
    }
}

void MainWindow::doEvents() { QCoreApplication::processEvents(); }

bool MainWindow::open_database() {
    const QString path = QDir(state_.data_dir).absoluteFilePath(MailStore::fileName());
    if (store_.open(path)) return true;
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
    out_.show_status(message);
    out_.speak(message);
    exit_code_ = 1;
    return false;
}

void MainWindow::speak_time() {
    out_.speak(services_.clock.now().toString(QStringLiteral("HH時mm分")));
}

bool MainWindow::Form_Load() {
    // 1. The database.
    if (!open_database()) return false;
    // The user's voice, before its first word.
    Hooks::call(hooks_.load_speech_settings);
    // 2. The fixed guide and the mail list's key guide.
    w_.shortcut01->setText(shortcut01_text());
    out_.shortcut(mail_list_guide());
    // 3. The window opens maximised (the caller shows it).
    // 4. The height the mail list and the mail text share.
    state_.pane_total_height = 3495 + 4695;
    // 5. The focus colours.
    state_.focus_color = QColor(200, 200, 200);
    state_.normal_color = QColor(255, 255, 255);
    // 6.-8. The microphone picture, the mail component and the voice are ready.
    // 9. The time.
    speak_time();
    // 10. Accounts and options.
    state_.mail_dir = QDir(state_.data_dir).absoluteFilePath(QStringLiteral("mail"));
    QDir().mkpath(state_.mail_dir);
    Hooks::call(hooks_.load_startup_settings);
    doEvents();
    // 11.-15. Help, the mail list, the folders, the address book, the news.
    for (const auto* step :
         {&hooks_.load_help, &hooks_.init_mail_list, &hooks_.read_folders_from_db,
          &hooks_.read_address_from_db, &hooks_.speak_news}) {
        Hooks::call(*step);
        doEvents();
    }
    // 16.-17. New mail: check, and receive when some waits.
    Hooks::call(hooks_.check_new_mail);
    if (state_.waiting_mail_count > 0) Hooks::call(hooks_.receive_mail);
    // 18.-20. The inbox, its count and its unread mail.
    state_.current_folder = kInbox;
    Hooks::call(hooks_.read_mail_from_db);
    Hooks::call(hooks_.speak_unread_mail_Click);
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
    services_.component.Sleep(4);
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
