#include "core/run_and_wait.h"

#include "core/app_state.h"
#include "core/feedback.h"
#include "speech/wait_cue.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace qv {

RunAndWait::RunAndWait(AppState& state, Feedback& out, QTimer* Timer1, QString working_dir)
    : state_(state), out_(out), Timer1_(Timer1), working_dir_(std::move(working_dir)) {
    QObject::connect(Timer1_, &QTimer::timeout, [this] { Timer1_Timer(); });
}

void RunAndWait::Timer1_Timer() {
    state_.countdown -= 1;
    out_.show_status(QString::number(state_.countdown));
}

std::optional<int> RunAndWait::run_and_wait(const QString& command_line, int /*window_style*/,
                                            int seconds) {
    QStringList words = QProcess::splitCommand(command_line);
    if (words.isEmpty()) return std::nullopt;
    QString program = words.takeFirst();
    program.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo(program).isRelative() && program.contains(QLatin1Char('/'))) {
        program = QDir(working_dir_).absoluteFilePath(program);
    }

    state_.countdown = seconds;
    Timer1_->setInterval(tick_ms_);
    Timer1_->start();

    QProcess process;
    process.setWorkingDirectory(working_dir_);
    process.setProgram(program);
    process.setArguments(words);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QEventLoop loop;
    bool failed_to_start = false;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            failed_to_start = true;
            loop.quit();
        }
    });
    process.start();
    if (!failed_to_start && process.state() != QProcess::NotRunning) {
        WaitScope cue;
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    Timer1_->stop();

    if (failed_to_start) {
        const QString name = QFileInfo(program).fileName();
        const QString message = QStringLiteral("プログラム %1 を起動できませんでした").arg(name);
        std::fprintf(stderr, "quorvel: cannot start %s: %s\n", qUtf8Printable(program),
                     qUtf8Printable(process.errorString()));
        out_.show_status(message);
        out_.speak(message);
        return std::nullopt;
    }
    if (process.exitStatus() == QProcess::CrashExit) return -1;
    return process.exitCode();
}

}  // namespace qv
