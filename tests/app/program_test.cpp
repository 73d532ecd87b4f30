// The program as a user starts it: options, the first words, refusing a foreign database.
#include "support/files.h"
#include "support/printers.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qv::test;

namespace {

struct ProgramRun {
    int code = -1;  // -1: still running when stopped
    QString out, err;
};

// Runs the program offscreen until it ends, or until what it wrote so far satisfies `enough`.
ProgramRun run_program(const QStringList& args,
                       const std::function<bool(const QString&)>& enough = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QV_BIN_DIR "/quorvel", args);
    ProgramRun r;
    for (int i = 0; i < 200 && !p.waitForFinished(100); ++i) {
        r.out += QString::fromUtf8(p.readAllStandardOutput());
        if (enough && enough(r.out)) break;
    }
    if (p.state() == QProcess::NotRunning) r.code = p.exitCode();
    p.kill(), p.waitForFinished(5000);
    r.out += QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace

TEST(ProgramOptions, HelpAndVersionEndWellAndEveryBadOptionIsRefusedByName) {
    const ProgramRun help = run_program({"--help"}), version = run_program({"--version"});
    EXPECT_EQ(std::pair(help.code, version.code), std::pair(0, 0));
    for (const char* o : {"--data-dir", "--speech", "--speech-log", "--version"})
        EXPECT_TRUE(help.out.contains(o)) << o;
    EXPECT_TRUE(version.out.contains("2.0"));
    for (const QStringList& bad :
         {QStringList{"--frobnicate"}, {"--speech", "loud"}, {"--data-dir"}}) {
        const ProgramRun r = run_program(bad);
        EXPECT_EQ(r.code, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(bad.last())) << r.err.toStdString();
    }
}

// A new data folder gets a database and the time is said first; a foreign database is refused
// aloud, left as it was, and the program ends non-zero.
TEST(Program, FirstWordsAreTheTimeInANewDatabaseAndAForeignOneIsRefusedAloudAndLeft) {
    QTemporaryDir fresh, dir;
    const ProgramRun first = run_program({"--data-dir", fresh.path(), "--speech", "transcript"},
                                         [](const QString& out) { return out.contains('\n'); });
    EXPECT_TRUE(QRegularExpression("^\\d\\d時\\d\\d分\n").match(first.out).hasMatch())
        << first.out.toStdString();

    const QString foreign = dir.filePath("quorvel_mail.mdb");
    ASSERT_TRUE(write_file(foreign, "Standard Jet DB"));
    const ProgramRun r = run_program({"--data-dir", dir.path(), "--speech", "transcript",
                                      "--speech-log", dir.filePath("speech.log")});
    EXPECT_EQ(r.code, 1);
    // The database is the first thing opened: the refusal is all the user hears.
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << r.out.toStdString();
    EXPECT_TRUE(lines[0].contains("quorvel_mail.mdb") && r.err.contains("quorvel_mail.mdb"));
    EXPECT_EQ(file_bytes(foreign), "Standard Jet DB");
    EXPECT_EQ(
        QString::fromUtf8(file_bytes(dir.filePath("speech.log"))).split('\n', Qt::SkipEmptyParts),
        lines);
}
