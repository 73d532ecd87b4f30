// Runs the recorder program the way the mail client does and checks what it leaves behind.
#include "recorder/mp3_probe.h"
#include "wav_reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace qv::recorder::test {
namespace {

const QString kName = QStringLiteral("quorvel-user1-20041120134510");
const QString kMp3 = kName + QStringLiteral(".mp3");
const QStringList kClient = {"-t", "2", "-b", "32", "-f", "12", "-sr", "32.2"};
const QStringList kWav = {"--wav", "in.wav"};

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QString out, err;
    qint64 elapsedMs = 0;
};

class RecorderProgram : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    Outcome run(const QStringList& args,
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                int timeoutMs = 60000) {
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        p.start(QStringLiteral(QV_BIN_DIR "/wavein28/waveIn"), args);
        Outcome o;
        o.finished = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
        if (!o.finished) p.kill();
        o.elapsedMs = clock.elapsed();
        o.exitCode = p.exitCode();
        o.out = QString::fromUtf8(p.readAllStandardOutput());
        o.err = QString::fromUtf8(p.readAllStandardError());
        return o;
    }

    void writeWav(const QByteArray& bytes) {
        QFile f(dir_.filePath(QStringLiteral("in.wav")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray read(const QString& name) {
        QFile f(dir_.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QStringList entries() const {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // The lame command-line program decodes independently of our encoder.
    PcmAudio decode(const QString& mp3) {
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.start(QStringLiteral("lame"), {"--quiet", "--decode", mp3, "decoded.wav"});
        PcmAudio a;
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0)
            << p.readAllStandardError().toStdString();
        EXPECT_TRUE(parseWav(read(QStringLiteral("decoded.wav")), 3600, &a, nullptr));
        return a;
    }

    // The client's settings: MPEG-1 Layer III, 32 kbit/s, 32 kHz, mono, as long as asked.
    void expectClientMp3(double seconds, double frequency) {
        const Mp3Probe p = probeMp3(read(kMp3));
        ASSERT_TRUE(p.error.isEmpty()) << p.error.toStdString();
        for (const Mp3Frame& f : p.frames) {
            ASSERT_EQ(f.version, 10);
            ASSERT_EQ(f.kbps, 32);
            ASSERT_EQ(f.rate, 32000);
            ASSERT_TRUE(f.mono);
        }
        // A 144-byte frame has no room for a LAME tag, so count frames: LAME puts 576 samples of
        // delay in front and pads the end by less than two frames.
        ASSERT_FALSE(p.infoTag);
        const qint64 extra = p.audioFrames() * 1152 - std::llround(seconds * 32000) - 576;
        EXPECT_GE(extra, 0) << p.audioFrames() << " frames";
        EXPECT_LT(extra, 2 * 1152) << p.audioFrames() << " frames";

        const PcmAudio a = decode(kMp3);
        EXPECT_EQ(a.sampleRate, 32000);
        EXPECT_NEAR(double(a.samples.size()), seconds * 32000, 1152);
        EXPECT_NEAR(dominantFrequency(a.samples, 32000, 0.2, seconds - 0.05), frequency, 9);
    }

    QTemporaryDir dir_;
};

TEST_F(RecorderProgram, EncodesOnlyTheFirstSecondsOfAMonoWav) {
    writeWav(makeWav(48000, 1, 3.5, 440, 2.0, 880));  // 880 Hz after two seconds must not be heard
    const Outcome r = run(kClient + kWav + QStringList{kName});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(entries(), (QStringList{"in.wav", kMp3}));
    expectClientMp3(2.0, 440);
}

TEST_F(RecorderProgram, MixesDownAndResamplesAStereoWav) {
    writeWav(makeWav(44100, 2, 3.5, 440));
    const Outcome r = run(kClient + kWav + QStringList{kName});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    expectClientMp3(2.0, 440);
}

TEST_F(RecorderProgram, AShorterWavIsTakenWhole) {
    writeWav(makeWav(16000, 1, 1.25, 300));
    const Outcome r =
        run(QStringList{"-t", "5", "-b", "32", "-sr", "32"} + kWav + QStringList{kName});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    expectClientMp3(1.25, 300);
}

TEST_F(RecorderProgram, LargerFramesCarryALameTagWithTheExactLength) {
    writeWav(makeWav(48000, 1, 3.5, 440));
    const Outcome r = run(QStringList{"-t", "3", "-b", "128", "-f", "2", "-sr", "44.1"} + kWav +
                          QStringList{"hi"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const Mp3Probe p = probeMp3(read(QStringLiteral("hi.mp3")));
    ASSERT_TRUE(p.error.isEmpty()) << p.error.toStdString();
    ASSERT_GE(p.encoderDelay, 0);
    EXPECT_EQ(p.frames.back().kbps, 128);
    EXPECT_EQ(p.frames.back().rate, 44100);
    EXPECT_EQ(p.tagFrames, p.audioFrames());
    EXPECT_NEAR(double(p.audioFrames() * 1152 - p.encoderDelay - p.encoderPadding), 3 * 44100, 2);
    EXPECT_NEAR(double(decode(QStringLiteral("hi.mp3")).samples.size()), 3 * 44100, 2);
}

TEST_F(RecorderProgram, BadArgumentsExitWithTwoAndLeaveNothing) {
    writeWav(makeWav(8000, 1, 1, 440));
    const QList<QStringList> bad = {
        kClient + kWav,
        QStringList{"-t", "0"} + kWav + QStringList{"x"},
        QStringList{"-t", "abc"} + kWav + QStringList{"x"},
        kClient + kWav + QStringList{"sub/" + kName},
        kClient + kWav + QStringList{"--bogus", "x"},
    };
    for (const QStringList& args : bad) {
        const Outcome r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("waveIn: "))) << r.err.toStdString();
        EXPECT_EQ(entries(), QStringList{"in.wav"});
    }
}

TEST_F(RecorderProgram, HelpExitsZeroAndNamesEveryOption) {
    const Outcome r = run({QStringLiteral("--help")});
    ASSERT_EQ(r.exitCode, 0);
    for (const char* opt :
         {"-t SECONDS", "-b KBPS", "-f QUALITY", "-sr KHZ", "--wav FILE", "NAME"}) {
        EXPECT_TRUE(r.out.contains(QLatin1String(opt))) << opt;
    }
}

TEST_F(RecorderProgram, AnUnreadableWavExitsWithThreeAndLeavesNoMp3) {
    const QByteArray good = makeWav(8000, 1, 1, 440);
    for (const QByteArray& bytes : {good.left(30), good.left(44), QByteArray("not a wave file")}) {
        writeWav(bytes);
        const Outcome r = run(kClient + kWav + QStringList{kName});
        EXPECT_EQ(r.exitCode, 3) << bytes.size();
        EXPECT_TRUE(r.err.contains(QStringLiteral("in.wav"))) << r.err.toStdString();
        EXPECT_EQ(entries(), QStringList{"in.wav"});
    }
    EXPECT_EQ(run(kClient + QStringList{"--wav", "missing.wav", kName}).exitCode, 3);
}

TEST_F(RecorderProgram, AnUnwritableTargetExitsWithFourAndLeavesNoStrayFile) {
    writeWav(makeWav(8000, 1, 1, 440));
    ASSERT_TRUE(
        QDir(dir_.path()).mkdir(kMp3));  // permissions would not stop root; a directory does
    const Outcome r = run(kClient + kWav + QStringList{kName});
    EXPECT_EQ(r.exitCode, 4) << r.err.toStdString();
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(entries(), (QStringList{"in.wav", kMp3}));
    EXPECT_TRUE(QFileInfo(dir_.filePath(kMp3)).isDir());
}

TEST_F(RecorderProgram, NoAudioServerMeansACleanFailure) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"),
               "unix:" + dir_.filePath(QStringLiteral("no-socket")));
    const Outcome r = run(kClient + QStringList{kName}, env, 30000);
    ASSERT_TRUE(r.finished) << "the recorder hung without an audio server";
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("waveIn: "))) << r.err.toStdString();
    EXPECT_TRUE(entries().isEmpty());
}

// A PulseAudio server of the test's own, whose microphone is a 440 Hz sine, so that the real
// capture path runs without a sound card and without touching anyone else's server.
class RecorderOnPulse : public RecorderProgram {
  protected:
    void SetUp() override {
        RecorderProgram::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty()) {
            GTEST_SKIP() << "pulseaudio or pactl is not installed";
        }
        ASSERT_TRUE(home_.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"}) {
            env.insert(QLatin1String(var), home_.path());
        }
        server_.setProcessEnvironment(env);
        server_.setProcessChannelMode(QProcess::MergedChannels);
        server_.start(QStringLiteral("pulseaudio"),
                      {"-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
                       "--load=module-null-sink sink_name=quiet",
                       "--load=module-sine-source source_name=tone frequency=440",
                       "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                           home_.path() + "/native"});
        ASSERT_TRUE(server_.waitForStarted(10000)) << server_.errorString().toStdString();
        clientEnv_ = QProcessEnvironment::systemEnvironment();
        clientEnv_.insert(QStringLiteral("PULSE_SERVER"), "unix:" + home_.path() + "/native");
        ASSERT_TRUE(QTest::qWaitFor([&] { return pactl({"info"}); }, 10000))
            << server_.readAll().toStdString();
        ASSERT_TRUE(pactl({"set-default-source", "tone"}));
    }

    void TearDown() override {
        server_.kill();
        server_.waitForFinished(10000);
    }

    bool pactl(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(clientEnv_);
        p.start(QStringLiteral("pactl"), args);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    QTemporaryDir home_;
    QProcess server_;
    QProcessEnvironment clientEnv_;
};

TEST_F(RecorderOnPulse, RecordsTheDefaultInputForTheGivenTime) {
    const Outcome r = run(kClient + QStringList{kName}, clientEnv_);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_GE(r.elapsedMs, 1800);  // samples come in real time: two seconds cannot come sooner
    EXPECT_EQ(entries(), QStringList{kMp3});
    expectClientMp3(2.0, 440);
}

TEST_F(RecorderOnPulse, ASourceThatNeverStartsEndsTheRecorderInSeconds) {
    // Qt's stream on a suspended source never becomes ready: QAudioSource::start() blocks for good.
    ASSERT_TRUE(pactl({"suspend-source", "tone", "1"}));
    const Outcome r = run(kClient + QStringList{kName}, clientEnv_, 30000);
    ASSERT_TRUE(r.finished) << "the recorder hung on a silent source";
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_LT(r.elapsedMs, 10000);
    EXPECT_TRUE(r.err.contains(QStringLiteral("waveIn: "))) << r.err.toStdString();
    EXPECT_TRUE(entries().isEmpty());
}

}  // namespace
}  // namespace qv::recorder::test
