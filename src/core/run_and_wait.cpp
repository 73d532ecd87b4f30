#include "core/run_and_wait.h"

#include "core/feedback.h"
#include "core/wait.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace qv {

RunAndWait::RunAndWait(Waiter& waiter, Feedback& out, QTimer* Timer1, QString working_dir)
    : waiter_(waiter), out_(out), Timer1_(Timer1), working_dir_(std::move(working_dir)) {
    QObject::connect(Timer1_, &QTimer::timeout, [this] { Timer1_Timer(); });
}

void RunAndWait::Timer1_Timer() {
    countdown_ -= 1;
    out_.show_status(QString::number(countdown_));
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

    countdown_ = seconds;
    Timer1_->setInterval(tick_ms_);
    Timer1_->start();

    QProcess process;
    process.setWorkingDirectory(working_dir_);
    process.setProgram(program);
    process.setArguments(words);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    bool ended = false;
    bool failed_to_start = false;
    QObject::connect(&process, &QProcess::finished, [&] {
        ended = true;
        waiter_.wake();
    });
    QObject::connect(&process, &QProcess::errorOccurred, [&](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        failed_to_start = true;
        waiter_.wake();
    });
    process.start();
    waiter_.wait_until([&] { return ended || failed_to_start; });
    Timer1_->stop();

    if (failed_to_start) {
        const QString name = QFileInfo(program).fileName();
        std::fprintf(stderr, "quorvel: cannot start %s: %s\n", qUtf8Printable(program),
                     qUtf8Printable(process.errorString()));
        out_.tell(QStringLiteral("プログラム %1 を起動できませんでした").arg(name));
        return std::nullopt;
    }
    if (process.exitStatus() == QProcess::CrashExit) return -1;
    return process.exitCode();
}

}  // namespace qv
