// A voice by the real recorder, mailed through the real Postfix on a slow line: ESC pressed twice.

#include "compose/mail_sender.h"
#include "compose_support.h"
#include "mail/curl_mail_component.h"
#include "support/fault_proxy.h"
#include "support/user_input.h"
#include "support/wav_writer.h"

#include <QTimer>

using namespace qv;
using namespace qv::test;

// Only the real servers' account: no made-up server is ever asked.
class RealSend : public ComposeWindow {
    void SetUp() override {}
};

TEST_F(RealSend, AVoiceMailGoesOutOnceThoughEscIsPressedAgainDuringTheSend) {
    QV_REQUIRE_MAIL_SERVERS(s);
    empty_mailbox(s, s.user2);
    FaultProxy slow_smtp(s.submission_port, FaultProxy::Mode::Forward);
    slow_smtp.delay_replies(150);
    CurlMailComponent mail(h.pauser);
    h.componentInstead = &mail;
    seed_accounts(h.seed(), {real_account(s, 1, s.pop3_port, slow_smtp.port())});
    ASSERT_TRUE(h.seed().updateVoiceSec(2));
    const QString wav = h.dataDir() + "/tone.wav";
    ASSERT_TRUE(write_file(wav, makeWav(16000, 1, 2, 440)));
    start();

    write(s.addr2, "録音付きの連絡①～髙橋", "明日の会議は十時からです。");
    h.mark();
    // The built recorder beside the program: first it finds no sound input (exit code 3).
    ASSERT_TRUE(QFile::link(QV_BIN_DIR "/wavein28", h.dataDir() + "/wavein28"));
    for (const QString& input : {QStringLiteral("/nonexistent.wav"), wav}) {
        EXPECT_FALSE(h.parts().recorder->voice_attached() || h.w().mic->isVisible());
        h.clock.set(h.clock.now().addSecs(60));
        h.parts().recorder->recorder_extra_args = "--wav \"" + input + '"';
        h.key(Qt::Key_Insert);
    }
    EXPECT_EQ(h.spokenSinceMark(), transcript("recorded_twice.txt"));
    // Time to get ready, each time (after whatever the start-up's check paused for).
    ASSERT_GE(h.pauser.pauses.size(), 2u);
    EXPECT_EQ(std::vector<int>(h.pauser.pauses.end() - 2, h.pauser.pauses.end()),
              (std::vector<int>{7, 7}));
    QFile recording(h.parts().recorder->voice_path());
    EXPECT_EQ(recording.fileName(), h.dataDir() + "/quorvel-user1-20261205090730.mp3");
    // Nothing in a user name leads out of the directory or breaks the recorder's command line.
    EXPECT_EQ(VoiceRecorder::voice_file_name("../a/b:c\"d\\e", h.clock.now()),
              "quorvel-..abcde-20261205090730");

    // The second ESC comes while the window waits, queued as the window system queues keys.
    QTimer again;
    QObject::connect(&again, &QTimer::timeout, [&] {
        if (slow_smtp.connections() == 0) return;
        queue_user_key(h.window().windowHandle(), Qt::Key_Escape);
        again.stop();
    });
    again.start(10);
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.spokenSinceMark(),
              (QStringList{
                  "メールを送信します",
                  MailSender::voice_note() + "メールを" + s.addr2 + "へ送信しました", kCleared,
                  "待っている間に押されたキーは、同じメールを二度送らないように取り消しました"}));
    EXPECT_FALSE(recording.exists());
    ASSERT_TRUE(wait_for_maildir(s, s.user2, 1, 20000));
    EXPECT_FALSE(wait_for_maildir(s, s.user2, 2, 1500));  // a second would be there by now
    EXPECT_EQ(slow_smtp.connections(), 1);
}
