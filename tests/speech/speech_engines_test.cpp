// The voices: how texts are cut and audio read, the engines of a mode, Open JTalk for real.
#include "speech/speech_engines.h"
#include "speech/openjtalk_engine.h"
#include "speech/qt_tts_engine.h"
#include "support/golden.h"
#include "support/printers.h"
#include "support/wav_writer.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

using namespace qv;

TEST(SpeechSplit, CutsAfterSentencesAndLinesThenAtACommaOrBlankThenHardButNeverInACharacter) {
    // Each row of split_for_speech.txt: the text, its pieces joined by |, the longest piece, the
    // longest first piece (0: as long as the rest); \n and \r stand for line ends.
    for (const QString& line : golden_lines("cases/split_for_speech.txt")) {
        QStringList c = line.split(u'\t');
        for (QString& field : c) field.replace("\\n", "\n").replace("\\r", "\r");
        EXPECT_EQ(split_for_speech(c[0], c[2].toInt(), c[3].toInt()).join('|'), c[1]) << line;
    }
}

TEST(WavAudio, ReadsPcmSkipsOtherChunksRejectsTheRestAndTrimsOnlyTheQuietEnds) {
    // A PCM WAV image, with a LIST chunk before the data if asked; the data's size as given.
    const auto makeWav = [](int rate, int channels, int bits, const QByteArray& pcm,
                            bool listChunk = false, qint64 dataSize = -1) {
        using namespace qv::test;
        return riff(fmt(channels, rate, bits) +
                    (listChunk ? chunk("LIST", "abcde") : QByteArray()) +
                    chunk("data", pcm, dataSize));
    };
    const auto shape = [](const std::optional<WavAudio>& w) {
        return std::tuple(w.value().format.sampleRate(), w->format.channelCount(),
                          w->format.sampleFormat(), w->durationUs(), w->pcm.size());
    };
    const QByteArray pcm(48000 * 2, '\x01');  // one second of 48 kHz 16-bit mono
    for (bool list : {false, true})
        EXPECT_EQ(shape(parse_wav(makeWav(48000, 1, 16, pcm, list))),
                  std::tuple(48000, 1, QAudioFormat::Int16, qint64(1'000'000), pcm.size()));
    EXPECT_EQ(shape(parse_wav(makeWav(22050, 2, 8, QByteArray(22050, '\x80')))),
              std::tuple(22050, 2, QAudioFormat::UInt8, qint64(500'000), qsizetype(22050)));
    // A writer that could not seek back: take the whole frames that are there.
    EXPECT_EQ(parse_wav((makeWav(48000, 1, 16, QByteArray(1000, 'x'), false, 0xffffffff) + 'x'))
                  ->pcm.size(),
              1000);
    for (const QByteArray& bad :
         {QByteArray(), QByteArray("RIFF\0\0\0\0AVI LIST", 16), makeWav(48000, 1, 24, pcm),
          makeWav(48000, 0, 16, pcm), makeWav(48000, 1, 16, {}).replace(12, 4, "junk")})
        EXPECT_FALSE(parse_wav(bad).has_value());

    // 0.5 s quiet, 0.25 s loud (one silent sample inside), 1 s quiet.
    const auto run = [](qint16 v, int n) { return QByteArray((const char*)&v, 2).repeated(n); };
    const QByteArray sound =
        run(100, 24000) + run(-5000, 6000) + run(0, 1) + run(5000, 5999) + run(-200, 48000);
    const WavAudio wav = *parse_wav(makeWav(48000, 1, 16, sound));
    const auto trimmed = [](WavAudio w, qint64 lead, qint64 trail) {
        trim_silence(w, lead, trail);
        return w.pcm;
    };
    // 20 ms of the quiet before, the 250 ms, 100 ms of the quiet after.
    EXPECT_EQ(trimmed(wav, 20'000, 100'000),
              wav.pcm.mid((24000 - 960) * 2, (960 + 12000 + 4800) * 2));
    EXPECT_EQ(trimmed(wav, 0, 0), wav.pcm.mid(24000 * 2, 12000 * 2));
    EXPECT_EQ(trimmed(wav, 5'000'000, 5'000'000), wav.pcm);
    EXPECT_TRUE(
        trimmed(*parse_wav(makeWav(48000, 1, 16, QByteArray(9600, 0))), 20'000, 0).isEmpty());
    const WavAudio eightBit = *parse_wav(makeWav(8000, 1, 8, QByteArray(800, '\x80')));
    EXPECT_EQ(trimmed(eightBit, 0, 0).size(), 800);  // only 16-bit audio is understood
}

TEST(SpeechEngines, EachModeTriesItsVoicesBestFirstThoseThatCannotWorkSayWhyQtOnesMustReadKanji) {
    // Each row of speech_modes.txt: a mode, the engines it tries in order, whether it is one.
    for (const QString& line : golden_lines("cases/speech_modes.txt")) {
        const QStringList c = line.split(u'\t');
        QStringList names;
        for (const auto& factory : make_speech_engines(c[0])) names << factory()->name();
        EXPECT_EQ(names.join(' '), c[1]) << line;
        EXPECT_EQ(is_speech_mode(c[0]), c[2] == "yes") << line;
    }

    std::FILE* out = std::tmpfile();
    QString why;
    EXPECT_TRUE(make_speech_engines("transcript", out).front()()->say("一行目\n二行目", &why));
    char line[64] = {};
    EXPECT_STREQ((std::rewind(out), std::fgets(line, sizeof line, out)), "一行目\\n二行目\n");
    std::fclose(out);
    OpenJTalkEngine missing(OpenJTalkEngine::Paths{"/nonexistent/open_jtalk", {}, {}});
    EXPECT_FALSE(missing.open(&why));
    EXPECT_TRUE(why.startsWith("open_jtalk is not installed")) << why;
    QtTtsEngine absent("no-such-engine");
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(absent.open(&why));
    EXPECT_TRUE(why.contains("no-such-engine") && !why.contains(u'\n')) << why;
    EXPECT_FALSE(absent.say("こんにちは", &why));
    EXPECT_LT(t.elapsed(), 1000);

    // Qt's voices count only when they read kanji: espeak reads each as "Chinese letter". Each row
    // of japanese_voices.txt: a Qt engine, a voice, its locale, speechd's module, whether it
    // counts.
    for (const QString& line : golden_lines("cases/japanese_voices.txt")) {
        const QStringList c = line.split(u'\t');
        EXPECT_EQ(QtTtsEngine::isJapaneseVoice(c[0], c[1], QLocale(c[2]), c[3]), c[4] == "yes")
            << line;
    }

    const auto module = [&](QStringList names) {
        for (QString& n : names) n = QV_TEST_DATA_DIR "/speech/speechd/" + n;
        return QtTtsEngine::speechdModuleForJapanese(names);
    };
    EXPECT_EQ(module({"user", "system"}), "openjtalk");
    EXPECT_EQ(module({"missing", "system"}), "festival");
    EXPECT_EQ(module({"plain", "system"}), "espeak-ng");  // the first file found is all there is
    EXPECT_EQ(module({"missing"}), "espeak-ng");
}

// Playing needs the scripts' null-sink sound server, found before Qt Multimedia looks for one.
TEST(OpenJTalk, SynthesisesAtTheRateAskedPlaysEveryPieceStopsAtOnceAndGivesUpOnAStalledOutput) {
    if (OpenJTalkEngine::findProgram().isEmpty() || OpenJTalkEngine::findVoice().isEmpty())
        GTEST_SKIP() << "open_jtalk or its voice is missing";
    const QString kForecast = QStringLiteral("本日は晴天なり。メールが３通届いています。");
    OpenJTalkEngine engine;
    QString why;
    const auto voicedUs = [&] {
        QByteArray bytes;
        EXPECT_TRUE(engine.synthesise(kForecast, &bytes, &why)) << why;
        WavAudio wav = parse_wav(bytes).value_or(WavAudio{});
        trim_silence(wav, 0, 0);
        return wav.durationUs();
    };
    const qint64 normal = voicedUs();
    EXPECT_TRUE(normal > 1'000'000 && normal < 8'000'000) << "speech, not silence: " << normal;
    engine.setRate(2.0);
    EXPECT_LT(voicedUs(), normal * 7 / 10);
    engine.setRate(1.0);
    engine.setVoice("/nonexistent/x.htsvoice");
    EXPECT_FALSE(engine.open(&why));
    EXPECT_TRUE(why.contains("/nonexistent/x.htsvoice") && !why.contains('\n')) << why;
    engine.setVoice(QString());  // back to the installed voice

    QProcess bash;
    bash.start("bash", {"-c", QStringLiteral("source '%1/scripts/lib/audio.sh' && qv_start_audio "
                                             "&& printf %s \"$PULSE_SERVER\"")
                                  .arg(QV_SOURCE_DIR)});
    if (bash.waitForFinished(20000) && bash.exitCode() == 0 && bash.bytesAvailable() > 0)
        qputenv("PULSE_SERVER", bash.readAllStandardOutput().trimmed());
    if (QMediaDevices::audioOutputs().isEmpty()) GTEST_SKIP() << "no sound server can be reached";
    ASSERT_TRUE(engine.open(&why)) << why;
    // say() on a plain thread, as the speech channel calls it.
    const auto sayAsync = [&](const QString& text) {
        return std::async(std::launch::async, [&engine, text] {
            QString why;
            const bool ok = engine.say(text, &why);
            return std::pair(ok, why);
        });
    };
    QElapsedTimer t;
    t.start();
    auto result = sayAsync(
        "一通目は会議の案内です。\n二通目は、来週の出張についての連絡で、添付"
        "ファイルが一つあります。三通目は請求書です！");
    ASSERT_EQ(result.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(result.get().first);
    // Said in full, it is heard for several seconds (the first piece alone for under two).
    EXPECT_GE(t.elapsed(), 4000);
    t.restart();
    EXPECT_TRUE(engine.say("「」…\n　", &why)) << why;  // nothing to pronounce: no sound
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(engine.lastFirstSoundUs(), -1);

    // A stop from another thread, while open_jtalk works on the first piece or while it plays.
    const QString longText =
        QStringLiteral("受信トレイには未読のメールが二十通あります。").repeated(12);
    result = sayAsync(longText), QTest::qWait(30), engine.stop();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    EXPECT_TRUE(result.get().first && engine.lastFirstSoundUs() == -1);  // not a sound
    engine.rearm(), result = sayAsync(longText);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.lastFirstSoundUs() >= 0; }, 10000));
    QTest::qWait(500);
    t.restart(), engine.stop();
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(2000)), std::future_status::ready);
    EXPECT_LE(t.elapsed(), 200);
    EXPECT_TRUE(result.get().first);
    engine.rearm(), t.restart();
    EXPECT_TRUE(engine.say("はい、わかりました。", &why)) << why;
    EXPECT_GT(t.elapsed(), 500);  // played, not cut at once by the old stop

    // A suspended sink of its own takes a buffer and never plays it.
    const QString sink = QStringLiteral("qv_stalled_%1").arg(QCoreApplication::applicationPid());
    QProcess load;
    load.start("pactl", {"load-module", "module-null-sink", "sink_name=" + sink});
    ASSERT_TRUE(load.waitForFinished(5000) && load.exitCode() == 0) << "cannot add a sink";
    const QString module = QString::fromUtf8(load.readAllStandardOutput()).trimmed();
    auto unload = qScopeGuard([&] { QProcess::execute("pactl", {"unload-module", module}); });
    ASSERT_EQ(QProcess::execute("pactl", {"suspend-sink", sink, "1"}), 0);
    const auto present = [&] {
        return std::ranges::any_of(QMediaDevices::audioOutputs(),
                                   [&](const QAudioDevice& d) { return d.id() == sink.toUtf8(); });
    };
    ASSERT_TRUE(QTest::qWaitFor(present, 5000));
    engine.setOutputDevice(sink.toUtf8());
    t.restart();
    result = sayAsync(kForecast);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(result.get(), std::pair(false, QStringLiteral("audio output stalled")));
    // From the first sound on, the watchdog allows the audio's length and half again plus 3 s.
    ASSERT_GE(engine.lastFirstSoundUs(), 0);
    EXPECT_LT(t.elapsed() - engine.lastFirstSoundUs() / 1000, 5000);
    unload.dismiss();  // with that device gone the default output is used again
    QProcess::execute("pactl", {"unload-module", module});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !present(); }, 5000));
    EXPECT_TRUE(engine.say("はい。", &why)) << why;
}
