#pragma once

// Shared by the benchmarks that need to hear something.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QtGlobal>

// Without a sound server there is nothing to measure: start the scripts' null sink unless some
// server already answers.
inline void ensureAudio() {
    QProcess bash;
    bash.start(QStringLiteral("bash"),
               {QStringLiteral("-c"),
                QStringLiteral("source '%1/scripts/lib/audio.sh' && qv_start_audio && "
                               "printf %s \"${PULSE_SERVER:-}\"")
                    .arg(QStringLiteral(QV_SOURCE_DIR))});
    if (bash.waitForFinished(20000) && bash.exitCode() == 0) {
        const QByteArray server = bash.readAllStandardOutput().trimmed();
        if (!server.isEmpty()) qputenv("PULSE_SERVER", server);
    }
}
