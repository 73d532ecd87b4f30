// The program as a user starts it: options, the first words, refusing a foreign database.
#include "app/app.h"
#include "store/mail_store.h"
#include "support/printers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qv;

namespace {

struct ProgramRun {
    int code = -1;
    QString out;
    QString err;
};

ProgramRun run_program(const QStringList& args, int ms = 20000,
                       const std::function<bool(const QString&)>& until = nullptr) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QV_BIN_DIR "/quorvel"), args);
    ProgramRun r;
    if (!p.waitForStarted(5000)) return r;
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (p.state() != QProcess::NotRunning && t.elapsed() < ms) {
        p.waitForReadyRead(100);
        out += p.readAllStandardOutput();
        if (until && until(QString::fromUtf8(out))) break;
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
    } else {
        r.code = p.exitCode();
    }
    out += p.readAllStandardOutput();
    r.out = QString::fromUtf8(out);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace

TEST(ProgramOptions, ParsesEveryOptionAndRefusesTheRest) {
    QString error;
    auto o = parse_options({QStringLiteral("--data-dir"), QStringLiteral("/tmp/x"),
                            QStringLiteral("--speech=transcript"), QStringLiteral("--speech-log"),
                            QStringLiteral("/tmp/log")},
                           &error);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->data_dir, QStringLiteral("/tmp/x"));
    EXPECT_EQ(o->speech, QStringLiteral("transcript"));
    EXPECT_EQ(o->speech_log, QStringLiteral("/tmp/log"));
    EXPECT_EQ(parse_options({}, &error)->speech, QStringLiteral("auto"));
    EXPECT_FALSE(parse_options({QStringLiteral("--speech"), QStringLiteral("loud")}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("loud")));
    EXPECT_FALSE(parse_options({QStringLiteral("--data-dir")}, &error));
    EXPECT_FALSE(parse_options({QStringLiteral("--colour")}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("--colour")));
}

TEST(Program, HelpVersionAndAnUnknownOption) {
    ProgramRun help = run_program({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    for (const char* o : {"--data-dir", "--speech", "--speech-log", "--version"}) {
        EXPECT_TRUE(help.out.contains(QLatin1String(o))) << o;
    }
    ProgramRun version = run_program({QStringLiteral("--version")});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.out.contains(QStringLiteral("2.0")));
    ProgramRun bad = run_program({QStringLiteral("--frobnicate")});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("--frobnicate")));
}

TEST(Program, RefusesAForeignDatabaseAloudAndEndsNonZero) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("quorvel_mail.mdb"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Standard Jet DB");
    f.close();
    const QString log = QDir(dir.path()).filePath(QStringLiteral("speech.log"));
    ProgramRun r =
        run_program({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--speech"),
                     QStringLiteral("transcript"), QStringLiteral("--speech-log"), log});
    EXPECT_EQ(r.code, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // The database is the first thing opened: the refusal is all the user hears.
    ASSERT_EQ(lines.size(), 1) << r.out.toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("quorvel_mail.mdb")));
    EXPECT_TRUE(r.err.contains(QStringLiteral("quorvel_mail.mdb")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Standard Jet DB"));
    QFile logFile(log);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(logFile.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              lines);
}

TEST(Program, FirstWordsAreTheTime) {
    QTemporaryDir dir;
    ProgramRun r =
        run_program({QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--speech"),
                     QStringLiteral("transcript")},
                    20000, [](const QString& out) { return out.contains(QLatin1Char('\n')); });
    const QString first = r.out.section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d時\\d\\d分$")).match(first).hasMatch())
        << first.toStdString();
    EXPECT_TRUE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("quorvel_mail.mdb"))));
}
