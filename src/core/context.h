#pragma once

#include <functional>

namespace qv {

struct AppState;
struct Widgets;
class Feedback;
class MailStore;
class MailComponent;
class Clock;
class DesktopOpener;
class RunAndWait;

// The procedures one subsystem calls on another. The main window fills them in as it wires the
// subsystems; an unset one does nothing.
struct Hooks {
    // start-up and settings
    std::function<void()> load_startup_settings;
    // The user's rate, volume, voice and waiting cue, before the first word is said.
    std::function<void()> load_speech_settings;
    std::function<void()> read_options;
    // Opens the account editor for a new account and returns when it is closed (first use).
    std::function<void()> open_first_use_account_editor;
    std::function<void()> load_help;
    std::function<void()> speak_news;
    // receiving
    std::function<void()> check_new_mail;
    std::function<void()> receive_mail;
    // mailbox
    std::function<void()> init_mail_list;
    std::function<void()> read_mail_from_db;
    std::function<void()> speak_unread_mail_Click;
    // folders and addresses
    std::function<void()> read_folders_from_db;
    std::function<void()> read_address_from_db;
    // composing and sending
    std::function<void()> create_mail;
    std::function<void()> msg_replay_Click;
    std::function<void()> send_mail;
    std::function<void()> record_voice;
    // ends the program with an exit code
    std::function<void(int)> end_program;

    static void call(const std::function<void()>& f) {
        if (f) f();
    }
};

// Everything a subsystem may be handed: the shared state, the controls, the output channels,
// the database, the mail component, the other subsystems' procedures and the platform's edges.
struct Context {
    AppState& state;
    Widgets& w;
    Feedback& out;
    MailStore& store;
    MailComponent& component;
    Hooks& hooks;
    const Clock& clock;
    DesktopOpener& opener;
    RunAndWait& runner;
};

}  // namespace qv
