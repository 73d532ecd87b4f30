#include "speech/speech_engines.h"
#include "speech/openjtalk_engine.h"
#include "speech/qt_tts_engine.h"
#include "speech/speech_channel.h"
#include "speech/transcript_engine.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <mutex>

using namespace qv;

// Readable failure messages for Japanese text.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QString withoutBlanks(const QString& s) {
    QString out;
    for (QChar c : s) {
        if (!c.isSpace()) out += c;
    }
    return out;
}

// A WAV image; dataSize 0 writes the real size.
QByteArray makeWav(int rate, int channels, int bits, const QByteArray& pcm, bool listChunk = false,
                   quint32 dataSize = 0) {
    QByteArray out("RIFF\0\0\0\0WAVEfmt ", 16);
    auto le = [&](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += char((v >> (8 * i)) & 0xff);
    };
    le(16, 4), le(1, 2), le(channels, 2), le(rate, 4), le(rate * channels * bits / 8, 4);
    le(channels * bits / 8, 2), le(bits, 2);
    if (listChunk) out += QByteArray("LIST\5\0\0\0abcde\0", 14);  // odd size, padded
    out += "data";
    le(dataSize ? dataSize : quint32(pcm.size()), 4);
    return out + pcm;
}

QStringList engineNames(const std::vector<SpeechEngineFactory>& factories) {
    QStringList names;
    for (const auto& f : factories) names << f()->name();
    return names;
}

QString readAll(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    QByteArray bytes;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, qsizetype(n));
    return QString::fromUtf8(bytes);
}

// Writes "name:text" to `attempts` for every say() and to `said` for those that succeed.
struct Ledger {
    std::mutex mutex;
    QStringList said, attempts;
};

class FakeEngine : public SpeechEngine {
  public:
    // breakOnCall: the say() call (from 1) on which the engine breaks; 0 never.
    FakeEngine(QString name, std::shared_ptr<Ledger> ledger, bool opens, int breakOnCall = 0)
        : name_(std::move(name)),
          ledger_(std::move(ledger)),
          opens_(opens),
          breakOn_(breakOnCall) {}
    QString name() const override { return name_; }
    bool open(QString* why) override {
        if (!opens_) *why = QStringLiteral("no such voice");
        return opens_;
    }
    bool say(const QString& text, QString* why) override {
        std::lock_guard lock(ledger_->mutex);
        ledger_->attempts << name_ + u':' + text;
        if (++calls_ == breakOn_) {
            *why = QStringLiteral("lost its audio");
            return false;
        }
        ledger_->said << name_ + u':' + text;
        return true;
    }

  private:
    QString name_;
    std::shared_ptr<Ledger> ledger_;
    bool opens_;
    int breakOn_;
    int calls_ = 0;
};

bool haveOpenJTalk() {
    return !OpenJTalkEngine::findProgram().isEmpty() &&
           !OpenJTalkEngine::findDictionary().isEmpty() && !OpenJTalkEngine::findVoice().isEmpty();
}

const QString kForecast = QStringLiteral("本日は晴天なり。メールが３通届いています。");

}  // namespace

TEST(SpeechSplit, CutsAfterSentenceEndsAndAtLineBreaks) {
    EXPECT_EQ(split_for_speech("本日は晴天なり。メールが３通届いています！本当？「はい。」と彼は"
                               "言った\nReally?! Yes.\r\n次の行"),
              (QStringList{"本日は晴天なり。", "メールが３通届いています！", "本当？", "「はい。」",
                           "と彼は言った", "Really?!", " Yes.", "次の行"}));
}

TEST(SpeechSplit, KeepsEveryWordInOrderAndDropsBlankPieces) {
    const QString text =
        "件名：会議の件。\n\n　\n差出人は山田さん、宛先はあなたです！添付ファイルが２つあります？"
        "URL は http://example.jp/?q=1 です。最後に、よろしくお願いします。";
    const QStringList pieces = split_for_speech(text, 20, 8);
    for (const QString& p : pieces) {
        EXPECT_FALSE(p.trimmed().isEmpty());
        EXPECT_FALSE(p.contains(u'\n'));
    }
    EXPECT_EQ(withoutBlanks(pieces.join(QString())), withoutBlanks(text));
    EXPECT_EQ(split_for_speech("一。\n\n　\n  \n二。"), (QStringList{"一。", "二。"}));
    EXPECT_TRUE(split_for_speech(" \n　\r\n").isEmpty());
}

TEST(SpeechSplit, ALongRunIsCutAfterACommaOrBlankElseHardAtTheLimit) {
    const QString head = QString(59, u'あ') + u'、';
    EXPECT_EQ(split_for_speech(head + QString(40, u'い'), 80),
              (QStringList{head, QString(40, u'い')}));
    for (const QString& p : split_for_speech(QStringLiteral("word ").repeated(30), 80)) {
        EXPECT_LE(p.size(), 80);
        EXPECT_TRUE(p.endsWith(u' ')) << p.toStdString();
    }
    const QStringList hard = split_for_speech(QString(200, u'あ'), 80);
    EXPECT_EQ(hard, (QStringList{QString(80, u'あ'), QString(80, u'あ'), QString(40, u'あ')}));
}

TEST(SpeechSplit, NeverCutsASurrogatePairOrBeforeACombiningMark) {
    const QString kanji = QString::fromUtf8("𠮷");  // two UTF-16 units
    for (const QString& text : {kanji.repeated(100), "あ" + kanji.repeated(100)}) {
        const QStringList pieces = split_for_speech(text, 9);
        EXPECT_GT(pieces.size(), 10);
        for (const QString& p : pieces) {
            EXPECT_FALSE(p.front().isLowSurrogate()) << p.toStdString();
            EXPECT_FALSE(p.back().isHighSurrogate()) << p.toStdString();
            EXPECT_LE(p.size(), 9);
        }
        EXPECT_EQ(pieces.join(QString()), text);
    }
    // か + combining voiced mark (= が): the mark stays with its letter.
    for (const QString& p : split_for_speech(QStringLiteral("か\u3099").repeated(60), 7)) {
        EXPECT_NE(p.front(), QChar(0x3099));
        EXPECT_LE(p.size(), 7);
    }
    EXPECT_EQ(split_for_speech(QStringLiteral("はい？\u20DDつぎ")),
              (QStringList{QStringLiteral("はい？\u20DD"), "つぎ"}));
    // A grapheme longer than the limit is kept whole.
    const QString stacked = QStringLiteral("e\u0301\u0302\u0303\u0304");
    EXPECT_EQ(split_for_speech(stacked + stacked, 3), (QStringList{stacked, stacked}));
}

TEST(SpeechSplit, TheFirstPieceIsCutEarlyOnlyAtACommaOrBlank) {
    const QString text =
        "今日は、いい天気ですね、散歩に行きましょうか、それとも家で本を読みますか。";
    const QStringList pieces = split_for_speech(text, 80, 24);
    ASSERT_EQ(pieces.size(), 2);  // the rest fits in 80 and stays whole
    EXPECT_LE(pieces[0].size(), 24);
    EXPECT_TRUE(pieces[0].endsWith(u'、'));
    EXPECT_EQ(pieces.join(QString()), text);
    const QString noComma = QString(40, u'あ') + u'。';
    EXPECT_EQ(split_for_speech(noComma, 80, 24), QStringList{noComma});
}

TEST(WavParsing, ReadsPcmSkipsOtherChunksAndRejectsTheRest) {
    const QByteArray pcm(48000 * 2, '\x01');  // one second of 48 kHz 16-bit mono
    for (bool list : {false, true}) {
        const auto wav = parse_wav(makeWav(48000, 1, 16, pcm, list));
        ASSERT_TRUE(wav.has_value());
        EXPECT_EQ(wav->format.sampleRate(), 48000);
        EXPECT_EQ(wav->format.channelCount(), 1);
        EXPECT_EQ(wav->format.sampleFormat(), QAudioFormat::Int16);
        EXPECT_EQ(wav->pcm, pcm);
        EXPECT_EQ(wav->durationUs(), 1'000'000);
    }
    const auto stereo8 = parse_wav(makeWav(22050, 2, 8, QByteArray(22050, '\x80')));
    ASSERT_TRUE(stereo8.has_value());
    EXPECT_EQ(stereo8->format.sampleFormat(), QAudioFormat::UInt8);
    EXPECT_EQ(stereo8->durationUs(), 500'000);
    // A writer that could not seek back: take the whole frames that are there.
    const auto unsized = parse_wav(makeWav(48000, 1, 16, QByteArray(1001, 'x'), false, ~0u));
    ASSERT_TRUE(unsized.has_value());
    EXPECT_EQ(unsized->pcm.size(), 1000);

    EXPECT_FALSE(parse_wav(QByteArray()).has_value());
    EXPECT_FALSE(parse_wav(QByteArray("RIFF\0\0\0\0AVI LIST", 16)).has_value());
    EXPECT_FALSE(parse_wav(makeWav(48000, 1, 24, QByteArray(300, 'x'))).has_value());
    EXPECT_FALSE(parse_wav(makeWav(48000, 0, 16, QByteArray(300, 'x'))).has_value());
    EXPECT_FALSE(parse_wav(makeWav(48000, 1, 16, {}).replace(12, 4, "junk")).has_value());
}

TEST(WavParsing, TrimmingShortensTheQuietEndsOnly) {
    // 0.5 s quiet, 0.25 s loud (one silent sample inside), 1 s quiet.
    QByteArray pcm;
    auto append = [&](int frames, qint16 value) {
        for (int i = 0; i < frames; ++i) pcm.append(reinterpret_cast<const char*>(&value), 2);
    };
    append(24000, 100), append(6000, -5000), append(1, 0), append(5999, 5000), append(48000, -200);
    const WavAudio wav = *parse_wav(makeWav(48000, 1, 16, pcm));

    WavAudio kept = wav;
    trim_silence(kept, 20'000, 100'000);
    EXPECT_EQ(kept.pcm.size(), (960 + 12000 + 4800) * 2);  // 20 ms + 250 ms + 100 ms
    EXPECT_EQ(qFromLittleEndian<qint16>(kept.pcm.constData() + 959 * 2), 100);
    EXPECT_EQ(qFromLittleEndian<qint16>(kept.pcm.constData() + 960 * 2), -5000);
    WavAudio tight = wav;
    trim_silence(tight, 0, 0);
    EXPECT_EQ(tight.durationUs(), 250'000);
    WavAudio all = wav;
    trim_silence(all, 5'000'000, 5'000'000);
    EXPECT_EQ(all.pcm, wav.pcm);

    WavAudio silent = *parse_wav(makeWav(48000, 1, 16, QByteArray(9600, '\0')));
    trim_silence(silent, 20'000, 20'000);
    EXPECT_TRUE(silent.pcm.isEmpty());
    WavAudio eightBit = *parse_wav(makeWav(8000, 1, 8, QByteArray(800, '\x80')));
    trim_silence(eightBit, 0, 0);
    EXPECT_EQ(eightBit.pcm.size(), 800);  // only 16-bit audio is understood
}

TEST(SpeechEngines, EachModeListsItsVoicesBestFirstAndEndsInTheTranscript) {
    const QStringList all = {"openjtalk", "qt-speechd", "qt-flite", "transcript"};
    EXPECT_EQ(engineNames(make_speech_engines("auto")), all);
    EXPECT_EQ(engineNames(make_speech_engines("openjtalk")),
              (QStringList{"openjtalk", "transcript"}));
    EXPECT_EQ(engineNames(make_speech_engines("qt")),
              (QStringList{"qt-speechd", "qt-flite", "transcript"}));
    EXPECT_EQ(engineNames(make_speech_engines("transcript")), QStringList{"transcript"});
    EXPECT_EQ(engineNames(make_speech_engines("loud")), all);
    for (const char* m : {"auto", "openjtalk", "qt", "transcript"}) EXPECT_TRUE(is_speech_mode(m));
    for (const char* m : {"", "Auto", "speechd", "flite"}) EXPECT_FALSE(is_speech_mode(m)) << m;

    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    auto transcript = make_speech_engines("transcript", out).front()();
    QString why;
    ASSERT_TRUE(transcript->open(&why));
    EXPECT_TRUE(transcript->say("一行目\n二行目", &why));
    EXPECT_EQ(readAll(out), "一行目\\n二行目\n");
    std::fclose(out);
}

TEST(QtTtsVoices, OnlyVoicesThatReadKanjiCountAsJapanese) {
    const QLocale ja(QLocale::Japanese, QLocale::Japan);
    EXPECT_TRUE(QtTtsEngine::isJapaneseVoice("speechd", "female1", ja, "openjtalk"));
    EXPECT_FALSE(QtTtsEngine::isJapaneseVoice("speechd", "japanese", ja, "espeak-ng"));
    EXPECT_FALSE(QtTtsEngine::isJapaneseVoice("speechd", "japanese", ja, "espeak"));
    EXPECT_FALSE(QtTtsEngine::isJapaneseVoice("speechd", "japanese", ja, ""));
    EXPECT_FALSE(QtTtsEngine::isJapaneseVoice("speechd", "female1", QLocale::English, "openjtalk"));
    EXPECT_FALSE(QtTtsEngine::isJapaneseVoice("flite", "eSpeak ja", ja, ""));
    EXPECT_TRUE(QtTtsEngine::isJapaneseVoice("flite", "mei", ja, ""));
}

TEST(QtTtsVoices, TheSpeechDispatcherModuleComesFromTheFirstConfigurationFound) {
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& body) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(body);
        return f.fileName();
    };
    const QString user = write("user.conf",
                               "# DefaultModule festival\nDefaultModule   espeak-ng\n"
                               "LanguageDefaultModule \"en\" \"festival\"\n"
                               "LanguageDefaultModule \"ja\"  \"openjtalk\"\n");
    const QString system = write("system.conf", "DefaultModule festival\n");
    const QString plain = write("plain.conf", "# nothing set\nAudioOutputMethod pulse\n");
    const QString missing = dir.filePath("missing.conf");
    EXPECT_EQ(QtTtsEngine::speechdModuleForJapanese({user, system}), "openjtalk");
    EXPECT_EQ(QtTtsEngine::speechdModuleForJapanese({missing, system}), "festival");
    // The first file found is the whole configuration.
    EXPECT_EQ(QtTtsEngine::speechdModuleForJapanese({plain, system}), "espeak-ng");
    EXPECT_EQ(QtTtsEngine::speechdModuleForJapanese({missing}), "espeak-ng");
}

TEST(QtTtsVoices, AnEngineThatIsNotInstalledFailsAtOnceWithItsName) {
    QtTtsEngine engine("no-such-engine");
    EXPECT_EQ(engine.name(), "qt-no-such-engine");
    QElapsedTimer t;
    t.start();
    QString why;
    EXPECT_FALSE(engine.open(&why));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_TRUE(why.contains("no-such-engine") && !why.contains(u'\n')) << why.toStdString();
    EXPECT_FALSE(engine.say("こんにちは", &why));
}

TEST(SpeechFallback, AnEngineThatCannotOpenGivesWayAndTheTextIsSaidOnce) {
    auto ledger = std::make_shared<Ledger>();
    testing::internal::CaptureStderr();
    {
        SpeechChannel channel({[&] { return std::make_unique<FakeEngine>("mute", ledger, false); },
                               [&] { return std::make_unique<FakeEngine>("next", ledger, true); }});
        channel.speak("一");
        channel.speak("二");
        ASSERT_TRUE(channel.waitUntilIdle(5000));
        EXPECT_EQ(channel.engineName(), "next");
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ledger->attempts, (QStringList{"next:一", "next:二"}));
    EXPECT_EQ(ledger->said, ledger->attempts);
    EXPECT_NE(err.find("mute unavailable: no such voice"), std::string::npos) << err;
}

TEST(SpeechFallback, AnEngineThatBreaksMidUtteranceHandsTheSameTextOnInOrder) {
    auto ledger = std::make_shared<Ledger>();
    testing::internal::CaptureStderr();
    {
        SpeechChannel channel(
            {[&] { return std::make_unique<FakeEngine>("first", ledger, true, 2); },
             [&] { return std::make_unique<FakeEngine>("second", ledger, true); }});
        for (const char* t : {"一", "二", "三", "四"}) channel.speak(t);
        ASSERT_TRUE(channel.waitUntilIdle(5000));
        EXPECT_EQ(channel.engineName(), "second");
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ledger->said, (QStringList{"first:一", "second:二", "second:三", "second:四"}));
    EXPECT_EQ(ledger->attempts,
              (QStringList{"first:一", "first:二", "second:二", "second:三", "second:四"}));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("lost its audio"), std::string::npos) << err;
}

TEST(SpeechFallback, AnOpenJTalkThatIsNotThereLeavesTheTranscriptSpeaking) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    testing::internal::CaptureStderr();
    {
        SpeechChannel channel({[] {
                                   return std::make_unique<OpenJTalkEngine>(
                                       OpenJTalkEngine::Paths{"/nonexistent/open_jtalk", {}, {}});
                               },
                               [out] { return std::make_unique<TranscriptEngine>(out); }});
        channel.speak("新着メールはありません。");
        ASSERT_TRUE(channel.waitUntilIdle(5000));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(readAll(out), "新着メールはありません。\n");
    EXPECT_NE(err.find("openjtalk unavailable: open_jtalk is not installed"), std::string::npos)
        << err;
    std::fclose(out);
}

TEST(OpenJTalkSynthesis, MakesSeveralSecondsOf48kHz16BitMonoSpeechAtTheRateAsked) {
    if (!haveOpenJTalk()) GTEST_SKIP() << "open_jtalk, its dictionary or a voice is missing";
    OpenJTalkEngine engine;
    QByteArray bytes, fast;
    QString why;
    ASSERT_TRUE(engine.synthesise(kForecast, &bytes, &why)) << why.toStdString();
    const auto wav = parse_wav(bytes);
    ASSERT_TRUE(wav.has_value());
    EXPECT_EQ(wav->format.sampleRate(), 48000);
    EXPECT_EQ(wav->format.sampleFormat(), QAudioFormat::Int16);
    EXPECT_EQ(wav->format.channelCount(), 1);
    EXPECT_GT(wav->durationUs(), 1'500'000);
    EXPECT_LT(wav->durationUs(), 8'000'000);
    WavAudio voiced = *wav;
    trim_silence(voiced, 0, 0);
    EXPECT_GT(voiced.durationUs(), 1'000'000) << "speech, not silence";

    engine.setRate(2.0);
    ASSERT_TRUE(engine.synthesise(kForecast, &fast, &why)) << why.toStdString();
    EXPECT_LT(parse_wav(fast)->durationUs(), wav->durationUs() * 7 / 10);
}

TEST(OpenJTalkSynthesis, WhatIsMissingOrBrokenIsNamedInOneLine) {
    if (!haveOpenJTalk()) GTEST_SKIP() << "open_jtalk is not installed";
    QString why;
    OpenJTalkEngine noDictionary(OpenJTalkEngine::Paths{{}, "/nonexistent", {}});
    EXPECT_FALSE(noDictionary.open(&why));
    EXPECT_TRUE(why.contains("dictionary")) << why.toStdString();

    OpenJTalkEngine engine;
    engine.setVoice("/nonexistent/x.htsvoice");
    EXPECT_FALSE(engine.open(&why));
    EXPECT_TRUE(why.contains("/nonexistent/x.htsvoice")) << why.toStdString();
    engine.setVoice(QString());  // back to the installed voice
    QByteArray bytes;
    EXPECT_TRUE(engine.synthesise("はい", &bytes, &why)) << why.toStdString();

    QTemporaryDir dir;
    QFile bogus(dir.filePath("bogus.htsvoice"));
    ASSERT_TRUE(bogus.open(QIODevice::WriteOnly));
    bogus.write("not a voice");
    bogus.close();
    OpenJTalkEngine badVoice(OpenJTalkEngine::Paths{{}, {}, bogus.fileName()});
    EXPECT_FALSE(badVoice.synthesise("はい", &bytes, &why));
    EXPECT_FALSE(why.isEmpty() || why.contains(u'\n')) << why.toStdString();
}

class OpenJTalkAudio : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!haveOpenJTalk()) return;
        // The scripts' null-sink PulseAudio, started (or found) before Qt Multimedia first looks
        // for a sound server in this process. A PULSE_SERVER that answers is kept.
        QProcess bash;
        bash.start("bash", {"-c", QStringLiteral("source '%1/scripts/lib/audio.sh' && "
                                                 "qv_start_audio && printf %s \"$PULSE_SERVER\"")
                                      .arg(QV_SOURCE_DIR)});
        if (bash.waitForFinished(20000) && bash.exitCode() == 0) {
            const QByteArray server = bash.readAllStandardOutput().trimmed();
            if (!server.isEmpty()) qputenv("PULSE_SERVER", server);
        }
        audio_ = !QMediaDevices::audioOutputs().isEmpty();
    }
    void SetUp() override {
        if (!haveOpenJTalk()) GTEST_SKIP() << "open_jtalk is not installed";
        if (!audio_) GTEST_SKIP() << "no sound server can be reached";
        QString why;
        ASSERT_TRUE(engine_.open(&why)) << why.toStdString();
    }

    // say() on a plain thread, as the speech channel calls it.
    std::future<std::pair<bool, QString>> sayAsync(const QString& text) {
        return std::async(std::launch::async, [this, text] {
            QString why;
            const bool ok = engine_.say(text, &why);
            return std::make_pair(ok, why);
        });
    }

    // How long the voice in text sounds without open_jtalk's padding: whatever pauses the engine
    // keeps, playing it all takes at least this long.
    qint64 voicedMs(const QString& text) {
        qint64 us = 0;
        for (const QString& piece : split_for_speech(text, 80, 24)) {
            QByteArray bytes;
            QString why;
            if (!engine_.synthesise(piece, &bytes, &why)) continue;
            WavAudio wav = *parse_wav(bytes);
            trim_silence(wav, 0, 0);
            us += wav.durationUs();
        }
        return us / 1000;
    }

    static inline bool audio_ = false;
    OpenJTalkEngine engine_;
};

TEST_F(OpenJTalkAudio, SaysASentenceAndReturnsWhenItHasBeenHeard) {
    const qint64 lengthMs = voicedMs(kForecast);
    ASSERT_GT(lengthMs, 1000);
    QElapsedTimer t;
    t.start();
    auto result = sayAsync(kForecast);
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(lengthMs + 8000)),
              std::future_status::ready);
    EXPECT_TRUE(result.get().first);
    EXPECT_GE(t.elapsed(), lengthMs);  // it waited for the sound to be played, not just made
    EXPECT_GE(engine_.lastFirstSoundUs(), 0);
}

TEST_F(OpenJTalkAudio, EveryPieceOfALongTextIsPlayed) {
    const QString text =
        "一通目は会議の案内です。\n二通目は、来週の出張についての連絡で、添付ファイルが一つあり"
        "ます。三通目は請求書です！";
    ASSERT_GE(split_for_speech(text, 80, 24).size(), 3);
    const qint64 lengthMs = voicedMs(text);
    QElapsedTimer t;
    t.start();
    auto result = sayAsync(text);
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(lengthMs + 10000)),
              std::future_status::ready);
    EXPECT_TRUE(result.get().first);
    EXPECT_GE(t.elapsed(), lengthMs);
}

TEST_F(OpenJTalkAudio, StopFromAnotherThreadEndsALongTextWithin200ms) {
    auto result =
        sayAsync(QStringLiteral("受信トレイには未読のメールが二十通あります。").repeated(12));
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine_.lastFirstSoundUs() >= 0; }, 10000));
    QTest::qWait(500);
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    QElapsedTimer t;
    t.start();
    engine_.stop();
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(2000)), std::future_status::ready);
    EXPECT_LE(t.elapsed(), 200);
    EXPECT_TRUE(result.get().first);

    // The stop was for that utterance only.
    QString why;
    EXPECT_TRUE(engine_.say("はい。", &why)) << why.toStdString();
    EXPECT_GE(engine_.lastFirstSoundUs(), 0);
}

TEST_F(OpenJTalkAudio, AnOutputThatStopsPlayingEndsTheUtteranceAsAFailureInTime) {
    // A suspended sink of its own: it takes a buffer and never plays it.
    const QString sink = QStringLiteral("qv_stalled_%1").arg(QCoreApplication::applicationPid());
    QProcess load;
    load.start("pactl", {"load-module", "module-null-sink", "sink_name=" + sink});
    if (!load.waitForFinished(5000) || load.exitCode() != 0) GTEST_SKIP() << "cannot add a sink";
    const QString module = QString::fromUtf8(load.readAllStandardOutput()).trimmed();
    auto unload = qScopeGuard([&] { QProcess::execute("pactl", {"unload-module", module}); });
    ASSERT_EQ(QProcess::execute("pactl", {"suspend-sink", sink, "1"}), 0);
    auto present = [&] {
        for (const QAudioDevice& d : QMediaDevices::audioOutputs()) {
            if (d.id() == sink.toUtf8()) return true;
        }
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(present, 5000));
    engine_.setOutputDevice(sink.toUtf8());

    QElapsedTimer t;
    t.start();
    auto result = sayAsync(kForecast);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const auto [ok, why] = result.get();
    EXPECT_FALSE(ok);
    EXPECT_EQ(why, "audio output stalled");
    // Synthesis may be slow on a busy machine; from the first sound on, the watchdog allows the
    // audio's length and half again plus 3 s.
    ASSERT_GE(engine_.lastFirstSoundUs(), 0);
    EXPECT_LT(t.elapsed() - engine_.lastFirstSoundUs() / 1000, 5000);

    // With that device gone the default output is used again.
    unload.dismiss();
    QProcess::execute("pactl", {"unload-module", module});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !present(); }, 5000));
    QString why2;
    EXPECT_TRUE(engine_.say("はい。", &why2)) << why2.toStdString();
}

TEST_F(OpenJTalkAudio, TextWithNothingToPronounceEndsAtOnceWithoutSound) {
    QElapsedTimer t;
    t.start();
    QString why;
    EXPECT_TRUE(engine_.say("「」…\n　", &why)) << why.toStdString();
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(engine_.lastFirstSoundUs(), -1);
}

// The stop in the program: through the channel, with Open JTalk still synthesising the first
// piece, and in the middle of a long text read in several utterances. Each time the queue is
// empty at once and the next text is heard.
TEST_F(OpenJTalkAudio, ChannelStopDuringSynthesisAndMidMailLeavesNothingAndSpeaksOnAfterwards) {
    std::atomic<OpenJTalkEngine*> live{nullptr};
    SpeechChannel channel({[&live] {
        auto e = std::make_unique<OpenJTalkEngine>();
        live = e.get();
        return e;
    }});
    channel.speak(QStringLiteral("あ"));
    ASSERT_TRUE(channel.waitUntilIdle(20000));
    ASSERT_EQ(channel.engineName(), QStringLiteral("openjtalk"));
    OpenJTalkEngine& engine = *live.load();

    // 1. Before the first sound: open_jtalk is still working on the first piece.
    channel.speak(kForecast);
    channel.speak(QStringLiteral("二つ目"));
    QTest::qWait(30);
    QElapsedTimer t;
    t.start();
    channel.silence();
    ASSERT_TRUE(channel.waitUntilIdle(2000));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(channel.pending(), 0);

    // 2. A long mail in pieces, stopped while its second piece plays.
    const QString piece =
        QStringLiteral("本文の続きです。受信トレイには未読のメールが二十通あります。");
    for (int i = 0; i < 5; ++i) channel.speak(piece.repeated(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel.pending() <= 4; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.lastFirstSoundUs() >= 0; }, 20000));
    t.restart();
    channel.silence();
    ASSERT_TRUE(channel.waitUntilIdle(2000));
    EXPECT_LT(t.elapsed(), 500);
    EXPECT_EQ(channel.pending(), 0);

    // 3. The next utterance is heard in full.
    QElapsedTimer heard;
    heard.start();
    channel.speak(QStringLiteral("はい、わかりました。"));
    ASSERT_TRUE(channel.waitUntilIdle(20000));
    EXPECT_GE(engine.lastFirstSoundUs(), 0);
    EXPECT_GT(heard.elapsed(), 500);  // played, not cut at once by an old stop
}
