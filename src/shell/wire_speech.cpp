#include "core/dialog_voice.h"
#include "settings/speech_preferences.h"
#include "settings/speech_settings_dialog.h"
#include "shell/main_window.h"
#include "speech/speech_channel.h"
#include "speech/speech_history_dialog.h"
#include "speech/speech_keys.h"
#include "speech/wait_cue.h"

#include <QAction>
#include <QLabel>

#include <cstdio>

namespace qv {

namespace {

void apply_preferences(SpeechChannel& speech, WaitCue& cue, Feedback& out,
                       const SpeechPreferences& p) {
    speech.applySettings(p.voice);
    cue.setEnabled(p.wait_cue);
    out.set_move_speech(p.move_speech);
}

}  // namespace

void MainWindow::wire_speech() {
    SpeechChannel& speech = services_.speech;
    wait_cue_ = std::make_unique<WaitCue>(std::make_unique<ToneCueSound>());
    services_.waiter.setObserver(wait_cue_.get());

    w_.shortcut03->setText(QStringLiteral("[CTRL:読み上げ停止 F2:もう一度 SHIFT-F2:読み上げ履歴]"));

    // Ctrl alone, anywhere in the program, stops the voice.
    new SpeechStopKey([&speech] { speech.silence(); }, this);

    connect(action(QStringLiteral("speech_repeat")), &QAction::triggered, this, [this, &speech] {
        if (speech.repeatLast()) return;
        const QString message = QStringLiteral("まだ何も読み上げていません");
        out_.show_status(message);
        speech.repeat(message);
    });

    // Every dialog speaks, and the voice's own keys work in it as here.
    new DialogWatch(
        out_, {action(QStringLiteral("speech_repeat")), action(QStringLiteral("speech_history"))},
        this);

    connect(action(QStringLiteral("speech_history")), &QAction::triggered, this, [this, &speech] {
        QAction* history = action(QStringLiteral("speech_history"));
        SpeechHistoryDialog dialog(speech, speech.history(), w_.cmd_message, this);
        // The list is already open: Shift+F2 in it opens no second one.
        history->setEnabled(false);
        dialog.exec();
        history->setEnabled(true);
    });

    connect(action(QStringLiteral("t_speech")), &QAction::triggered, this, [this, &speech] {
        const SpeechPreferences before = load_speech_preferences(store_);
        SpeechSettingsDialog dialog(
            out_, before, speech.voices(),
            [this, &speech](const SpeechPreferences& p) {
                apply_preferences(speech, *wait_cue_, out_, p);
            },
            this);
        if (dialog.exec() != QDialog::Accepted) {
            out_.tell(QStringLiteral("音声の設定を元に戻しました"));
            return;
        }
        const SpeechPreferences chosen = dialog.chosen();
        QString message;
        if (save_speech_preferences(store_, chosen)) {
            message = QStringLiteral("音声の設定を保存しました");
        } else {
            message =
                QStringLiteral("音声の設定を保存できませんでした。この設定は終了するまで使います");
            std::fprintf(stderr, "quorvel: cannot save the speech settings: %s\n",
                         qUtf8Printable(store_.lastError()));
        }
        out_.tell(message);
    });
}

void MainWindow::load_speech_settings() {
    apply_preferences(services_.speech, *wait_cue_, out_, load_speech_preferences(store_));
}

}  // namespace qv
