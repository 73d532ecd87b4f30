#include "compose/voice_recorder.h"

#include "core/app_state.h"
#include "core/context.h"
#include "core/feedback.h"
#include "core/platform.h"
#include "core/run_and_wait.h"
#include "core/widgets.h"
#include "mail/mail_component.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include <cstdio>

namespace qv {

namespace {

// The recorder's exit code when it has no sound input to record from.
constexpr int kNoInput = 3;

}  // namespace

VoiceRecorder::VoiceRecorder(Context& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {}

QString VoiceRecorder::voice_file_name(const QString& user, const QDateTime& when) {
    QString name = QStringLiteral("quorvel-") + user + QLatin1Char('-') +
                   when.toString(QStringLiteral("yyyyMMddHHmmss"));
    for (const QChar c : {QLatin1Char('/'), QLatin1Char(':'), QLatin1Char('"'), QLatin1Char('\\')})
        name.remove(c);
    return name;
}

QString VoiceRecorder::voice_path(const AppState& state) {
    return state.program_dir + QLatin1Char('/') + state.voice_file + QStringLiteral(".mp3");
}

QString VoiceRecorder::command_line() const {
    const QString seconds = QString::number(ctx_.state.record_seconds);
    QString line = recorder_program() + QStringLiteral(" -t ") + seconds +
                   QStringLiteral(" -b 32 -f 12 -sr 32.2 ");
    if (!recorder_extra_args.isEmpty()) line += recorder_extra_args + QLatin1Char(' ');
    return line + QLatin1Char('"') + ctx_.state.voice_file + QLatin1Char('"');
}

void VoiceRecorder::failed(const QString& message) {
    ctx_.state.voice_attached = false;
    ctx_.out.speak(message);
    ctx_.out.show_status(message);
}

void VoiceRecorder::record_voice() {
    AppState& s = ctx_.state;
    const QString seconds = QString::number(s.record_seconds);
    s.voice_attached = true;
    ctx_.w.mic->show();
    ctx_.w.mic->repaint();
    ctx_.out.show_status(seconds + QStringLiteral("秒間　録音中"));
    ctx_.out.speak(QStringLiteral("音声") + seconds + QStringLiteral("秒　録音開始"));
    ctx_.component.Sleep(7);
    QApplication::beep();

    s.voice_file = voice_file_name(s.current_account().account, ctx_.clock.now());
    const QString path = voice_path(s);
    // A file of the same name can only be from this same second; the recorder would overwrite
    // it, and left in place it would pass for a recording that failed.
    if (QFile::exists(path)) QFile::remove(path);
    const std::optional<int> exit_code =
        ctx_.runner.run_and_wait(command_line(), 0, s.record_seconds);
    QApplication::beep();

    if (!exit_code) {
        // The runner has already said that the recorder would not start.
        failed(QStringLiteral("録音できませんでした。音声は添付されません"));
    } else if (*exit_code == kNoInput) {
        failed(QStringLiteral("マイクが使えないため録音できませんでした。音声は添付されません"));
    } else if (*exit_code != 0 || QFileInfo(path).size() <= 0) {
        std::fprintf(stderr, "quorvel: the recorder ended with %d and left %s %s\n", *exit_code,
                     qUtf8Printable(path), QFile::exists(path) ? "empty" : "missing");
        failed(QStringLiteral("録音できませんでした。音声は添付されません"));
    } else {
        ctx_.out.speak(QStringLiteral("音声録音が終了しました。[ＥＳＣ]でメールされます"));
        ctx_.out.show_status(QStringLiteral("録音終了"));
    }
    ctx_.w.mic->hide();
}

}  // namespace qv
