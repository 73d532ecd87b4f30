#pragma once

#include "core/feedback.h"
#include "core/paths.h"
#include "settings/account_table.h"
#include "settings/options.h"
#include "shell/widgets.h"
#include "store/mail_store.h"

#include <QMainWindow>
#include <QSet>

#include <functional>
#include <memory>

namespace qv {

class AccountDialogs;
class AudioPlayer;
class Accounts;
class AddressBook;
class Clock;
class ComposeFields;
class DesktopOpener;
class FolderList;
class Help;
class MailCommands;
class MailComponent;
class MailList;
class MailSender;
class News;
class OptionsCommand;
class Pauser;
class Receiver;
class RunAndWait;
class SpeechChannel;
class Splitter;
class VoiceRecorder;
class WaitCue;
class Waiter;

// What the main window is given from outside: the voice, the mail component and the platform's
// edges, and where things lie.
struct Services {
    SpeechChannel& speech;
    MailComponent& component;
    const Clock& clock;
    DesktopOpener& opener;  // the manual, in the desktop's browser
    AudioPlayer& player;    // a received voice message
    Pauser& pauser;         // the pauses that let the program's own words be heard
    Waiter& waiter;         // every wait of the window for work done elsewhere
    QString program_dir;    // the program, its help files and the recorder
    QString data_dir;       // the database and the mail directory
};

// The subsystems, each made by its wire_<name>.cpp and owned by the window.
struct Subsystems {
    Accounts* accounts = nullptr;
    AccountDialogs* account_dialogs = nullptr;
    Options* options = nullptr;
    OptionsCommand* options_command = nullptr;
    Receiver* receiver = nullptr;
    MailList* mail_list = nullptr;
    MailCommands* mail_commands = nullptr;
    FolderList* folders = nullptr;
    AddressBook* addresses = nullptr;
    ComposeFields* compose = nullptr;
    MailSender* sender = nullptr;
    VoiceRecorder* recorder = nullptr;
    Help* help = nullptr;
    News* news = nullptr;
    Splitter* splitter = nullptr;
};

// The main window: builds the controls and the menu bar, owns the state the subsystems share,
// creates the subsystems and connects them (every call from one subsystem to another is
// connected in a wire_<name>.cpp), and runs the start-up.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up, in its fixed order. False when the program cannot go on (the user has been
    // told why); the caller then ends the program with exit_code().
    bool Form_Load();
    int exit_code() const { return exit_code_; }

    // "終了(&X)": the farewell, a pause while it is said, and the end.
    void fend_Click();

    // How the program ends; the default asks the application to quit with the code.
    void setEndProgram(std::function<void(int)> end) { end_program_ = std::move(end); }

    AccountTable& accounts() { return accounts_; }
    OptionState& options() { return options_; }
    const Paths& paths() const { return paths_; }
    Widgets& widgets() { return w_; }
    Feedback& feedback() { return out_; }
    MailStore& store() { return store_; }
    RunAndWait& runner() { return *runner_; }
    const Subsystems& parts() const { return parts_; }
    SpeechChannel& speech() { return services_.speech; }
    // The soft tone that marks a long wait.
    WaitCue& waitCue() { return *wait_cue_; }
    QAction* action(const QString& name) const;

    static QString caption() { return QStringLiteral("Quorvel Mailer V 2.0"); }
    static QString shortcut01_text() {
        return QStringLiteral("[ctrl-A:メール一覧　ctrl-N:メール作成 CTRL-R:返信 CTRL-P:件名");
    }
    static QString mail_list_guide() {
        return QStringLiteral(
            "[矢印:選択 ENTER:読む INS:送信者をアドレス帳へ登録 DEL:削除 ESC:返信 SPACE:移動]");
    }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void build_widgets();
    void build_menus();
    void wire_subsystems();
    // Each subsystem is wired in a file of its own (wire_<name>.cpp): it creates the subsystem's
    // object as a child of the window, attaches its handlers to the controls and menu commands,
    // and connects the signals by which it asks other subsystems for something.
    void wire_speech();
    void wire_settings();
    void wire_receive();
    void wire_mailbox();
    void wire_folders();
    void wire_compose();
    void wire_help();
    void wire_layout();
    // A control whose subsystem attaches its own focus handlers is claimed by it; the others
    // follow the plain focus convention.
    void claim(QWidget* control) { claimed_.insert(control); }
    void plain_focus_convention();
    bool open_database();
    void load_speech_settings();
    void speak_time();
    void end_program(int code);

    Services services_;
    Paths paths_;
    AccountTable accounts_;
    OptionState options_;
    Widgets w_;
    Feedback out_;
    MailStore store_;
    std::unique_ptr<RunAndWait> runner_;
    std::unique_ptr<WaitCue> wait_cue_;
    Subsystems parts_;
    std::function<void(int)> end_program_;
    int exit_code_ = 0;
    bool ending_ = false;
    QSet<QWidget*> claimed_;
};

}  // namespace qv
