#pragma once

#include "compose/compose_fields.h"
#include "compose/mail_sender.h"
#include "compose/voice_recorder.h"
#include "core/wait.h"
#include "fake_component.h"
#include "fakes.h"
#include "folders/address_book.h"
#include "folders/folder_list.h"
#include "layout/splitter.h"
#include "mailbox/mail_list.h"
#include "receive/receiver.h"
#include "shell/main_window.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

namespace qv::test {

// The real main window, offscreen, with a voice that only keeps a transcript, a clock standing
// at 09:05, a scripted mail component and no real pauses. Keys go where a user's keys go.
class WindowHarness {
  public:
    // The database before the window opens it; its start-up news is off, so no test reaches for
    // the network unasked.
    MailStore& seed();
    // Builds the window and runs the start-up; false when the start-up refused to go on.
    bool start();

    MainWindow& window() { return *window_; }
    AccountTable& accounts() { return window_->accounts(); }
    OptionState& options() { return window_->options(); }
    FocusState& focus() { return window_->feedback().focus(); }
    const Paths& paths() const { return window_->paths(); }
    const Subsystems& parts() const { return window_->parts(); }
    Widgets& w() { return window_->widgets(); }
    MailStore& store() { return window_->store(); }
    QStringList spoken() const { return speech_->spoken(); }
    // What was said since the last call of this (or since the start).
    QStringList spokenSinceMark();
    void mark() { mark_ = speech_->spoken().size(); }

    void key(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier);
    // Typed into the focused field: letters key by key, Japanese committed by the input method.
    static void type(const QString& text);
    void trigger(const QString& action);
    // Gives the focus to a control as a user would (the window active, focus events delivered).
    void focus(QWidget* control);

    QString dataDir() const { return dir_.path(); }
    FakeMailComponent component;
    // When set before start(), the mail component used instead of `component`.
    MailComponent* componentInstead = nullptr;
    RecordingOpener opener;
    RecordingPlayer player;
    RecordingPauser pauser;
    Waiter waiter;
    FixedClock clock{QDateTime(QDate(2026, 12, 5), QTime(9, 5, 30))};
    std::optional<int> endedWith;
    // Called (until it closes) with a modal dialog of the start-up; by default it is cancelled.
    std::function<void(QWidget*)> onModal;

  private:
    QTemporaryDir dir_;
    std::unique_ptr<SpeechChannel> speech_ = std::make_unique<SpeechChannel>(
        std::vector<SpeechEngineFactory>{[] { return std::make_unique<SilentEngine>(); }});
    std::unique_ptr<MailStore> seed_;
    std::unique_ptr<MainWindow> window_;
    qsizetype mark_ = 0;
};

}  // namespace qv::test
