// Sending with the scripted component: what goes to SendMail, what the user hears, and what
// becomes of a pending recording.

#include "compose/mail_sender.h"
#include "compose/voice_recorder.h"
#include "compose_support.h"
#include "speech/speech_channel.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::TestAccount;
using qv::test::WindowHarness;

namespace {

class SendMail : public ::testing::Test {
  protected:
    void SetUp() override {
        qv::test::seed_current_account(h.seed(), TestAccount{});
        ASSERT_TRUE(h.start());
        // A mail ready in the body, as the user left it.
        h.key(Qt::Key_N, Qt::ControlModifier);
        h.type(QStringLiteral("jiro@example.test"));
        h.key(Qt::Key_Tab);
        qv::test::commit_text(QStringLiteral("お知らせ"));
        h.key(Qt::Key_Tab);
        qv::test::commit_text(QStringLiteral("本文です"));
        h.component.calls.clear();
        h.mark();
    }
    // A recording waiting to go, as the recorder leaves it.
    QString pending_recording(const QByteArray& content) {
        h.options().voice_file = QStringLiteral("quorvel-taro-20261205090530");
        h.parts().recorder->set_voice_attached(true);
        const QString path = h.parts().recorder->voice_path();
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) {
            ADD_FAILURE() << "cannot write " << path.toStdString();
        }
        return path;
    }
    QString attachment_sent() {
        for (const auto& c : h.component.calls)
            if (c.method == QLatin1String("SendMail")) return c.args[5];
        ADD_FAILURE() << "nothing was sent";
        return {};
    }

    WindowHarness h;
};

TEST_F(SendMail, APendingRecordingGoesWithTheMailAndIsThenGone) {
    const QString path = pending_recording("ID3 recorded voice");
    EXPECT_EQ(path, h.dataDir() + QStringLiteral("/quorvel-taro-20261205090530.mp3"));
    h.key(Qt::Key_Escape);
    EXPECT_EQ(attachment_sent(), path);
    const QString done =
        QStringLiteral("音声添付ファイル付きでメールをjiro@example.testへ送信しました");
    EXPECT_EQ(h.spokenSinceMark(), QStringList({QStringLiteral("メールを送信します"), done}));
    EXPECT_EQ(h.w().cmd_message->text(), done);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(h.parts().recorder->voice_attached());

    // The next mail goes without it.
    h.component.calls.clear();
    h.key(Qt::Key_Escape);
    EXPECT_EQ(attachment_sent(), QString());
    EXPECT_EQ(h.spokenSinceMark().last(),
              QStringLiteral("メールをjiro@example.testへ送信しました"));
}

TEST_F(SendMail, ARefusalIsSpokenInFrontAndTheMailStaysForAnotherTry) {
    const QString path = pending_recording("ID3 voice");
    h.component.sendAnswer = QStringLiteral("送信できませんでした（サーバーに接続できません）");
    h.key(Qt::Key_Escape);
    const QString failed = QStringLiteral(
        "送信できませんでした（サーバーに接続できません）メールをjiro@example.testへ送信しました");
    EXPECT_EQ(h.spokenSinceMark(), QStringList({QStringLiteral("メールを送信します"), failed}));
    EXPECT_EQ(h.w().cmd_message->text(), failed);
    EXPECT_EQ(h.w().mailto->text(), QStringLiteral("jiro@example.test"));
    EXPECT_EQ(h.w().subject->text(), QStringLiteral("お知らせ"));
    EXPECT_TRUE(h.w().body->toPlainText().startsWith(QStringLiteral("本文です")));
    // A failed send uses the recording up as a successful one does.
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(h.parts().recorder->voice_attached());

    // ESC again sends the same mail.
    h.component.sendAnswer.clear();
    h.component.calls.clear();
    h.key(Qt::Key_Escape);
    ASSERT_EQ(h.component.trace(), QStringList({"RcvMail LIST", "SendMail"}));
    EXPECT_EQ(h.component.calls[1].args[3], QStringLiteral("お知らせ"));
    EXPECT_EQ(h.spokenSinceMark().last(),
              QStringLiteral("メールをjiro@example.testへ送信しました"));
}

TEST_F(SendMail, ARecordingThatVanishedIsLeftOutAndTheUserIsTold) {
    h.options().voice_file = QStringLiteral("quorvel-taro-gone");
    h.parts().recorder->set_voice_attached(true);
    h.key(Qt::Key_Escape);
    EXPECT_EQ(attachment_sent(), QString());
    EXPECT_EQ(h.spokenSinceMark().last(),
              MailSender::missing_voice_note() +
                  QStringLiteral("メールをjiro@example.testへ送信しました"));
    EXPECT_FALSE(h.parts().recorder->voice_attached());
}

}  // namespace
