// Time from starting the program to its first utterance (the time of day) reaching the voice,
// with an empty data directory. The transcript voice writes each utterance as it is handed over.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString program = QStringLiteral(QV_BIN_DIR "/quorvel");
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QTemporaryDir data;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::SeparateChannels);
        QElapsedTimer t;
        t.start();
        p.start(program, {QStringLiteral("--speech"), QStringLiteral("transcript"),
                          QStringLiteral("--data-dir"), data.path()});
        QByteArray out;
        while (!out.contains('\n') && p.waitForReadyRead(10000)) out += p.readAllStandardOutput();
        double elapsed = double(t.nsecsElapsed()) / 1e6;
        p.kill();
        p.waitForFinished();
        if (!out.contains('\n')) {
            std::fprintf(stderr, "no utterance within 10 s (%s)\n",
                         p.readAllStandardError().constData());
            return 1;
        }
        if (i == 0) std::printf("first utterance: %s", out.left(out.indexOf('\n') + 1).constData());
        ms.push_back(elapsed);
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "start to first utterance, empty data directory, %d runs: min %.1f ms, median %.1f ms, max "
        "%.1f ms (target <= 300 ms)\n",
        runs, ms.front(), ms[ms.size() / 2], ms.back());
    return 0;
}
