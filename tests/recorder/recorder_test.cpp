// The recorder's parts, and the program run as the mail client runs it. WAV files are written and
// MP3 files read here apart from the recorder's code, so that a fault cannot hide in both places.
#include "capture.h"
#include "options.h"
#include "support/files.h"
#include "support/golden.h"
#include "support/wav_writer.h"
#include "watchdog.h"
#include "wav_reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace qv::recorder {
namespace {

using namespace std::chrono_literals;
using namespace qv::test;

// Rising zero crossings per second over [from, to) seconds.
inline double dominantFrequency(const std::vector<int16_t>& s, int rate, double from, double to) {
    const size_t a = size_t(from * rate), b = std::min(s.size(), size_t(to * rate));
    int rising = 0;
    for (size_t i = a + 1; i < b; ++i) rising += s[i - 1] < 0 && s[i] >= 0;
    return b > a ? rising / (double(b - a) / rate) : 0;
}

ParseResult parse(const QString& line) {
    return parseArguments(line.split(' ', Qt::SkipEmptyParts));
}
auto values(const Options& o) {
    return std::tuple(o.seconds, o.kbps, o.quality, o.outputRate, o.baseName, o.wavPath);
}

TEST(RecorderOptions, ReadsTheClientsCommandLineAndRefusesWhatItCannotUse) {
    // A quality above the encoder's range is its fastest; options may follow the name.
    EXPECT_EQ(parse("-t 2 -b 32 -f 12 -sr 32.2 quorvel-user1").options.quality, 9);
    EXPECT_EQ(values(parse("voice --wav in.wav -t 7 -f 3").options),
              std::tuple(7, 32, 3, 32000, QString("voice"), QString("in.wav")));
    EXPECT_EQ(parse("-t 2 -- -voice").options.baseName, "-voice");
    EXPECT_EQ(parse("-t 2 -h").kind, ParseResult::Help);
    // Each row of recorder_arguments.txt: a command line and the MP3 rate it asks for (kHz or Hz,
    // the nearest; halfway between 24 and 32 kHz the higher), or "error".
    for (const QString& row : golden_lines("cases/recorder_arguments.txt")) {
        const ParseResult r = parse(row.section('\t', 0, 0));
        const bool refused = r.kind == ParseResult::Error && !r.error.isEmpty();
        EXPECT_EQ(refused ? "error" : QString::number(r.options.outputRate), row.section('\t', 1))
            << row.toStdString();
    }
}

TEST(RecorderWav, MixesDownSkipsForeignChunksTakesTheWholeFramesThereAndRefusesTheRest) {
    QByteArray samples;
    for (int v : {1000, 3000, -32768, -32768, 100, -101}) samples += le(v, 2);
    PcmAudio a;
    QString error;
    ASSERT_TRUE(parseWav(
        riff(chunk("LIST", "abc") + chunk("data", samples) + chunk("junk", "jj") + fmt(2, 44100)),
        10, &a, &error))
        << error.toStdString();
    const std::vector<int16_t> all{2000, -32768, 0};
    EXPECT_EQ(std::pair(a.sampleRate, a.samples), std::pair(44100, all));
    const QByteArray data = chunk("data", le(1, 2) + le(2, 2));
    for (const QByteArray& bad :
         {QByteArray(), QByteArray("RIFX\0\0\0\0WAVE", 12), riff(fmt(0, 8000) + data),
          riff(fmt(1, 0) + data), riff(fmt(1, 8000, 8) + data), riff(fmt(1, 8000, 32, 3) + data),
          riff(chunk("fmt ", QByteArray(8, 1)) + data), riff(data), riff(fmt(1, 8000))}) {
        error.clear();
        EXPECT_FALSE(parseWav(bad, 1, &a, &error) || error.isEmpty()) << bad.toHex().toStdString();
    }
    // Cut anywhere: an error, or the whole frames that are there (the last one is half there, and
    // the header keeps claiming a second of audio).
    const QByteArray wav =
        riff(chunk("LIST", "xxxxxxx") + fmt(2, 8000) + chunk("data", samples.left(12), 32000));
    const qsizetype dataStart = wav.size() - 12;
    for (qsizetype len = 0; len <= wav.size(); ++len) {
        const QByteArray cut(wav.constData(), len);  // a copy, so the sanitizers see overreads
        const bool ok = parseWav(cut, 10, &a, &error);
        EXPECT_EQ(ok, len >= dataStart) << len << error.toStdString();
        EXPECT_TRUE(!ok ||
                    a.samples == std::vector(all.begin(), all.begin() + (len - dataStart) / 4))
            << len;
    }
}

template <typename T>
std::vector<int16_t> mono(QAudioFormat::SampleFormat sf, int channels, std::vector<T> in,
                          qint64 frames = -1) {
    QAudioFormat f;
    f.setSampleRate(48000), f.setChannelCount(channels), f.setSampleFormat(sf);
    return toMono16(f, reinterpret_cast<const char*>(in.data()),
                    frames < 0 ? qint64(in.size()) / channels : frames);
}

TEST(RecorderCapture, EveryDeviceFormatBecomesMono16AndOnlyTheFramesAskedForAreRead) {
    using F = QAudioFormat;
    using V = std::vector<int16_t>;
    EXPECT_EQ(mono<qint16>(F::Int16, 1, {0, -1, 32767, -32768}), V({0, -1, 32767, -32768}));
    EXPECT_EQ(mono<qint16>(F::Int16, 2, {16384, 0, 32767, -32767, -32768, -32768}),
              V({8192, 0, -32768}));
    EXPECT_EQ(mono<float>(F::Float, 1, {0.5f, -0.25f, 2.0f, -3.0f}),
              V({16384, -8192, 32767, -32768}));
    EXPECT_EQ(mono<float>(F::Float, 2, {0.25f, 0.75f}), V({16384}));
    // 2147444326 / 65536 is 32767.6: it must not round up past the top and wrap around.
    EXPECT_EQ(mono<qint32>(F::Int32, 1, {1 << 30, INT32_MIN, 2147444326}),
              V({16384, -32768, 32767}));
    EXPECT_EQ(mono<quint8>(F::UInt8, 1, {128, 255, 0, 192}), V({0, 32512, -32768, 16384}));
    EXPECT_EQ(mono<qint16>(F::Int16, 2, {2, 4, 6, 8, 99}, 2), V({3, 7}));
    EXPECT_TRUE(mono<qint16>(F::Int16, 2, {2, 4}, 0).empty());
}

// Any deadline that fires before the last one ends the process with the wrong message.
TEST(RecorderWatchdog, EndsTheProcessWithItsCodeAndLatestMessageUnlessDisarmedMovedOrGone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the watchdog runs a thread
    const auto hang = [] {
        Watchdog(5).arm(50ms, "destroyed");
        Watchdog w(7);
        w.arm(50ms, "disarmed"), w.disarm(), std::this_thread::sleep_for(200ms);
        w.arm(400ms, "moved"), std::this_thread::sleep_for(100ms);
        w.arm(2s, "moved"), std::this_thread::sleep_for(500ms);
        w.arm(10s, "first"), w.arm(50ms, "the audio input does not start");
        std::this_thread::sleep_for(10s);
        std::_Exit(0);
    };
    EXPECT_EXIT(hang(), ::testing::ExitedWithCode(7), "waveIn: the audio input does not start");
}

// The device rows (no WAV) record from a PulseAudio server of the test's own, whose microphone is a
// 440 Hz sine: the real capture path, without a sound card or anyone else's server.
TEST(RecorderProgram, EncodesWhatItIsGivenOrSaysWhyNotEndsWithItsCodeAndLeavesNoFile) {
    QTemporaryDir dir, home;
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        env.insert(var, home.path());
    server.setProcessEnvironment(env);
    server.start("pulseaudio", {"-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
                                "--load=module-null-sink sink_name=quiet",
                                "--load=module-sine-source source_name=tone frequency=440",
                                "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                                    home.filePath("s")});
    const auto pactl = [&](const QString& args) {
        return QProcess::execute("sh", {"-c", "PULSE_SERVER=unix:" + home.filePath("s") +
                                                  " timeout 5 pactl " + args}) == 0;
    };
    ASSERT_TRUE(server.waitForStarted(10000) &&
                QTest::qWaitFor([&] { return pactl("info"); }, 10000));
    ASSERT_TRUE(pactl("set-default-source tone"));
    const auto entries = [&] {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    // The exit code (-1 when it did not end within 30 s), what it said and how long it took.
    const auto run = [&](const QString& args, const QString& pulse) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_SERVER", "unix:" + (pulse.isEmpty() ? dir.filePath("no-socket") : pulse));
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        p.start(QV_BIN_DIR "/wavein28/waveIn", args.split(' '));
        const bool ended = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
        if (!ended) p.kill();
        return std::tuple(ended ? p.exitCode() : -1,
                          QString(p.readAll() + p.readAllStandardError()), clock.elapsed());
    };
    const QString kClient = "-t 2 -b 32 -f 12 -sr 32.2 --wav in.wav ";
    const QByteArray good = makeWav(8000, 1, 1, 440);
    // A success's MP3 is decoded by lame: `seconds` long (give or take `slack` samples) at `rate`
    // and `frequency`. At the client's 32 kbit/s 32 kHz mono every MPEG-1 Layer III frame is 144
    // bytes (no LAME tag); LAME adds 576 samples in front and pads the end by less than two frames.
    struct Case {
        QByteArray wav;  // none: record from the device
        QString args;
        int code;
        QString said;  // for a failure; for a success, the file made
        double seconds = 0, frequency = 440;
        int rate = 32000, slack = 1152;
    } const cases[] = {
        {makeWav(44100, 2, 3.5, 440, 2.0, 880), kClient + "voice", 0, "voice.mp3", 2},  // 880 late
        {makeWav(16000, 1, 1.25, 300), "-t 5 -sr 32 --wav in.wav voice", 0, "voice.mp3", 1.25, 300},
        {makeWav(48000, 1, 3.5, 440), "-t 3 -b 128 -sr 44.1 --wav in.wav loud", 0, "loud.mp3", 3,
         440, 44100, 2},
        {good, kClient, 2, "name"},
        {good, kClient + "sub/voice", 2, "sub/"},
        {good.left(44), kClient + "voice", 3, "in.wav"},
        {"not a wave file", kClient + "voice", 3, "in.wav"},
        {good, "-t 2 --wav missing.wav voice", 3, "missing.wav"},
        {good, "-t 2 voice", 3, ""},  // no audio server
        {{}, "-t 2 -b 32 -f 12 -sr 32.2 voice", 0, "voice.mp3", 2},
        // Qt's stream on a suspended source never becomes ready: QAudioSource::start() blocks.
        {{}, "-t 2 -b 32 -f 12 -sr 32.2 voice", 3, ""},
        {good, kClient + "voice", 4, "voice.mp3"},  // NAME.mp3 is a directory
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.toStdString());
        for (const QString& e : entries()) QFile::remove(dir.filePath(e));
        ASSERT_TRUE(c.wav.isNull() || write_file(dir.filePath("in.wav"), c.wav));
        if (c.code == 4) QDir(dir.path()).mkdir(c.said);  // permissions would not stop root
        EXPECT_TRUE(!c.wav.isNull() || !c.code || pactl("suspend-source tone 1"));
        const QStringList before = entries();
        const auto [code, said, ms] = run(c.args, c.wav.isNull() ? home.filePath("s") : "");
        EXPECT_EQ(code, c.code) << said.toStdString();
        EXPECT_TRUE(ms < 10000 && (!c.wav.isNull() || c.code || ms > 1800)) << ms;  // real time
        EXPECT_EQ(entries(), code ? before : before + QStringList{c.said});
        if (code != 0) {
            EXPECT_TRUE(said.contains("waveIn: ") && said.contains(c.said)) << said.toStdString();
            continue;
        }
        const QByteArray mp3 = file_bytes(dir.filePath(c.said));
        const qint64 extra = mp3.size() / 144 * 1152 - std::llround(c.seconds * 32000) - 576;
        if (c.rate == 32000) {
            EXPECT_TRUE(mp3.size() % 144 == 0 && extra >= 0 && extra < 2 * 1152) << mp3.size();
            for (qsizetype i = 0; i < mp3.size(); i += 144)
                ASSERT_EQ(mp3.mid(i, 4).toHex(), "fffb18c4") << i;
        } else {  // 128 kbit/s, with a LAME tag, from which a decoder takes the exact length
            EXPECT_TRUE(mp3.left(200).contains("Info") &&
                        std::abs(mp3.size() - 16000 * c.seconds) < 2000);
        }
        ASSERT_EQ(QProcess::execute("lame", {"--quiet", "--decode", dir.filePath(c.said),
                                             dir.filePath("decoded.wav")}),
                  0);
        PcmAudio a;
        ASSERT_TRUE(readWavFile(dir.filePath("decoded.wav"), 3600, &a, nullptr));
        EXPECT_EQ(a.sampleRate, c.rate);
        EXPECT_NEAR(double(a.samples.size()), c.seconds * c.rate, c.slack);
        EXPECT_NEAR(dominantFrequency(a.samples, c.rate, 0.2, c.seconds - 0.05), c.frequency, 9);
    }
    const auto [code, help, ms] = run("--help", "");
    EXPECT_EQ(code, 0);
    for (const char* opt : {"-t SECONDS", "-b KBPS", "-f QUALITY", "-sr KHZ", "--wav FILE", "NAME"})
        EXPECT_TRUE(help.contains(opt)) << opt;
    server.kill(), server.waitForFinished(10000);
}

}  // namespace
}  // namespace qv::recorder
