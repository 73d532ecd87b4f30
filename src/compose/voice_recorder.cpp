#include "compose/voice_recorder.h"

#include "core/clock.h"
#include "core/feedback.h"
#include "core/run_and_wait.h"
#include "core/wait.h"
#include "settings/account_table.h"
#include "settings/options.h"

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

VoiceRecorder::VoiceRecorder(OptionState& options, const AccountTable& accounts, QLabel* mic,
                             Feedback& out, Pauser& pauser, const Clock& clock, RunAndWait& runner,
                             QString program_dir, QObject* parent)
    : QObject(parent),
      options_(options),
      accounts_(accounts),
      mic_(mic),
      out_(out),
      pauser_(pauser),
      clock_(clock),
      runner_(runner),
      program_dir_(std::move(program_dir)) {}

QString VoiceRecorder::voice_file_name(const QString& user, const QDateTime& when) {
    QString name = QStringLiteral("quorvel-") + user + QLatin1Char('-') +
                   when.toString(QStringLiteral("yyyyMMddHHmmss"));
    for (const QChar c : {QLatin1Char('/'), QLatin1Char(':'), QLatin1Char('"'), QLatin1Char('\\')})
        name.remove(c);
    return name;
}

QString VoiceRecorder::voice_path() const {
    return program_dir_ + QLatin1Char('/') + options_.voice_file + QStringLiteral(".mp3");
}

QString VoiceRecorder::command_line() const {
    const QString seconds = QString::number(options_.record_seconds);
    QString line = recorder_program() + QStringLiteral(" -t ") + seconds +
                   QStringLiteral(" -b 32 -f 12 -sr 32.2 ");
    if (!recorder_extra_args.isEmpty()) line += recorder_extra_args + QLatin1Char(' ');
    return line + QLatin1Char('"') + options_.voice_file + QLatin1Char('"');
}

void VoiceRecorder::failed(const QString& message) {
    voice_attached_ = false;
    out_.speak(message);
    out_.show_status(message);
}

void VoiceRecorder::record_voice() {
    const QString seconds = QString::number(options_.record_seconds);
    voice_attached_ = true;
    mic_->show();
    mic_->repaint();
    out_.show_status(seconds + QStringLiteral("秒間　録音中"));
    out_.speak(QStringLiteral("音声") + seconds + QStringLiteral("秒　録音開始"));
    pauser_.pause(7);
    QApplication::beep();

    options_.voice_file = voice_file_name(accounts_.current_account().account, clock_.now());
    const QString path = voice_path();
    // A file of the same name can only be from this same second; the recorder would overwrite
    // it, and left in place it would pass for a recording that failed.
    if (QFile::exists(path)) QFile::remove(path);
    const std::optional<int> exit_code =
        runner_.run_and_wait(command_line(), 0, options_.record_seconds);
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
        out_.speak(QStringLiteral("音声録音が終了しました。[ＥＳＣ]でメールされます"));
        out_.show_status(QStringLiteral("録音終了"));
    }
    mic_->hide();
}

}  // namespace qv
