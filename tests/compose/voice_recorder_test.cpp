// Recording a spoken attachment with the real recorder (fed a prepared sound instead of a
// microphone), and what the user is told when nothing could be recorded.

#include "compose/voice_recorder.h"
#include "compose_support.h"
#include "speech/speech_channel.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::TestAccount;
using qv::test::WindowHarness;

namespace {

class RecordVoice : public ::testing::Test {
  protected:
    void SetUp() override {
        MailStore& db = h.seed();
        TestAccount account;
        account.user = QStringLiteral("user1");
        qv::test::seed_current_account(db, account);
        ASSERT_TRUE(db.updateVoiceSec(2));
        ASSERT_TRUE(wav_dir.isValid());
        wav = wav_dir.filePath(QStringLiteral("voice in.wav"));
        ASSERT_TRUE(qv::test::write_tone_wav(wav, 3));
        // What the window shows while the recorder is being prepared, and while it runs.
        h.pauser.onPause = [this](int) {
            mic_during_pause = h.w().mic->isVisible();
            status_during_pause = h.w().cmd_message->text();
        };
    }
    void start(bool with_recorder = true) {
        if (with_recorder) {
            ASSERT_TRUE(qv::test::install_recorder(h.dataDir()));
        }
        ASSERT_TRUE(h.start());
        h.window().runner().setTickMilliseconds(20);
        h.key(Qt::Key_N, Qt::ControlModifier);
        h.type(QStringLiteral("user2@example.test"));
        h.key(Qt::Key_Tab);
        h.key(Qt::Key_Tab);
        qv::test::commit_text(QStringLiteral("録音をどうぞ"));
        body = h.w().body->toPlainText();
        h.mark();
        h.component.calls.clear();
    }
    QString recording() { return h.parts().recorder->voice_path(); }

    WindowHarness h;
    QTemporaryDir wav_dir;
    QString wav;
    QString body;
    bool mic_during_pause = false;
    QString status_during_pause;
};

TEST_F(RecordVoice, InsRecordsAnMp3NamedAfterTheUserAndTheTime) {
    start();
    recorder_of(h).recorder_extra_args = QStringLiteral("--wav \"%1\"").arg(wav);
    h.key(Qt::Key_Insert);

    EXPECT_EQ(h.spokenSinceMark(),
              QStringList({QStringLiteral("音声2秒　録音開始"),
                           QStringLiteral("音声録音が終了しました。[ＥＳＣ]でメールされます")}));
    EXPECT_EQ(h.pauser.pauses, std::vector<int>{7});
    EXPECT_TRUE(h.component.calls.empty());
    EXPECT_TRUE(mic_during_pause);
    EXPECT_EQ(status_during_pause, QStringLiteral("2秒間　録音中"));
    EXPECT_FALSE(h.w().mic->isVisible());
    EXPECT_EQ(h.w().cmd_message->text(), QStringLiteral("録音終了"));

    EXPECT_EQ(h.options().voice_file, QStringLiteral("quorvel-user1-20261205090530"));
    EXPECT_TRUE(h.parts().recorder->voice_attached());
    const QByteArray mp3 = qv::test::file_bytes(recording());
    ASSERT_GT(mp3.size(), 1000);
    // An MP3 begins with an ID3 tag or a frame sync.
    EXPECT_TRUE(mp3.startsWith("ID3") ||
                (quint8(mp3[0]) == 0xff && (quint8(mp3[1]) & 0xe0) == 0xe0));
    // The focus and the text stay where they were.
    EXPECT_TRUE(h.w().body->hasFocus());
    EXPECT_EQ(h.w().body->toPlainText(), body);
}

TEST_F(RecordVoice, NoSoundInputMeansNothingIsAttached) {
    start();
    // The recorder's answer when there is nothing to record from (exit 3).
    recorder_of(h).recorder_extra_args =
        QStringLiteral("--wav \"%1\"").arg(wav_dir.filePath(QStringLiteral("none.wav")));
    h.key(Qt::Key_Insert);
    const QString told =
        QStringLiteral("マイクが使えないため録音できませんでした。音声は添付されません");
    EXPECT_EQ(h.spokenSinceMark(), QStringList({QStringLiteral("音声2秒　録音開始"), told}));
    EXPECT_EQ(h.w().cmd_message->text(), told);
    EXPECT_FALSE(h.parts().recorder->voice_attached());
    EXPECT_FALSE(h.w().mic->isVisible());
    EXPECT_FALSE(QFile::exists(recording()));

    // The mail then goes without a voice and says nothing of one.
    h.component.calls.clear();
    h.key(Qt::Key_Escape);
    ASSERT_EQ(h.component.trace(), QStringList({"RcvMail LIST", "SendMail"}));
    EXPECT_EQ(h.component.calls[1].args[5], QString());
    EXPECT_EQ(h.spokenSinceMark().last(),
              QStringLiteral("メールをuser2@example.testへ送信しました"));
}

TEST_F(RecordVoice, ARecorderThatCannotStartIsReported) {
    start(/*with_recorder=*/false);
    h.key(Qt::Key_Insert);
    const QStringList said = h.spokenSinceMark();
    ASSERT_EQ(said.size(), 3);
    EXPECT_EQ(said[0], QStringLiteral("音声2秒　録音開始"));
    EXPECT_EQ(said[1], QStringLiteral("プログラム waveIn を起動できませんでした"));
    EXPECT_EQ(said[2], QStringLiteral("録音できませんでした。音声は添付されません"));
    EXPECT_EQ(h.w().cmd_message->text(), said[2]);
    EXPECT_FALSE(h.parts().recorder->voice_attached());
    EXPECT_FALSE(h.w().mic->isVisible());
}

TEST_F(RecordVoice, ASecondRecordingIsTheOneThatGoes) {
    start();
    recorder_of(h).recorder_extra_args = QStringLiteral("--wav \"%1\"").arg(wav);
    h.key(Qt::Key_Insert);
    const QString first = recording();
    ASSERT_TRUE(QFile::exists(first));
    h.clock.set(QDateTime(QDate(2026, 12, 5), QTime(21, 7, 9)));
    h.key(Qt::Key_Insert);
    const QString second = recording();
    EXPECT_EQ(h.options().voice_file, QStringLiteral("quorvel-user1-20261205210709"));
    ASSERT_TRUE(QFile::exists(second));
    h.key(Qt::Key_Escape);
    ASSERT_FALSE(h.component.calls.empty());
    EXPECT_EQ(h.component.calls.back().args[5], second);
    EXPECT_FALSE(QFile::exists(second));
    EXPECT_TRUE(QFile::exists(first));  // the older one stays where it was
}

TEST(VoiceFileName, HasTheDigitsOfTheTimeAndNoSlashOrColon) {
    const QDateTime when(QDate(2026, 12, 5), QTime(9, 5, 30));
    EXPECT_EQ(VoiceRecorder::voice_file_name(QStringLiteral("user1"), when),
              QStringLiteral("quorvel-user1-20261205090530"));
    EXPECT_EQ(VoiceRecorder::voice_file_name(QStringLiteral("user1"),
                                             QDateTime(QDate(2004, 11, 20), QTime(13, 45, 10))),
              QStringLiteral("quorvel-user1-20041120134510"));
    // Whatever a user name holds, the name stays one plain file in the program's directory
    // and one word on the recorder's command line.
    const QString odd = VoiceRecorder::voice_file_name(QStringLiteral("../a/b:c\"d\\e"), when);
    EXPECT_EQ(odd, QStringLiteral("quorvel-..abcde-20261205090530"));
    for (const char* bad : {"/", ":", "\"", "\\"}) EXPECT_FALSE(odd.contains(QLatin1String(bad)));
    // No account: the user name is simply empty.
    EXPECT_EQ(VoiceRecorder::voice_file_name(QString(), when),
              QStringLiteral("quorvel--20261205090530"));
}

}  // namespace
