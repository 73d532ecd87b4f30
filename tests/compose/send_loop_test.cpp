// The whole road of a mail written here, against the real Postfix and Dovecot: composed with a
// recorded voice, sent with STARTTLS and AUTH, received again and found in the inbox. Also what
// the user hears when the SMTP server is down or refuses the login.

#include "compose_support.h"
#include "mail/curl_mail_component.h"
#include "mailbox/flex_grid.h"
#include "speech/speech_channel.h"
#include "support/mail_servers.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qv;
using qv::test::commit_text;
using qv::test::TestAccount;
using qv::test::WindowHarness;

namespace {

TestAccount account_of(const qv::test::MailServers& s, const QString& user, const QString& pass,
                       const QString& addr, int smtp_port) {
    TestAccount a;
    // STARTTLS on both: the plain ports of the test servers with TLS required.
    a.pop = QStringLiteral("%1:%2").arg(s.host).arg(s.pop3_port);
    a.smtp = QStringLiteral("%1:%2").arg(s.host).arg(smtp_port);
    a.user = user;
    a.password = pass;
    a.email = addr;
    return a;
}

// Writes a mail to `to` in the compose fields, as the user does, leaving the focus in the body.
void write_mail(WindowHarness& h, const QString& to, const QString& subject, const QString& text) {
    h.key(Qt::Key_N, Qt::ControlModifier);
    h.type(to);
    h.key(Qt::Key_Tab);
    commit_text(subject);
    h.key(Qt::Key_Tab);
    commit_text(text);
}

TEST(SendLoop, AVoiceMailTravelsThroughTheServersIntoTheInbox) {
    QV_REQUIRE_MAIL_SERVERS(s);
    qv::test::empty_mailbox(s, s.user1);
    qv::test::empty_mailbox(s, s.user2);

    qv::test::RecordingPauser pauser;
    CurlMailComponent mail(pauser);
    WindowHarness h;
    h.componentInstead = &mail;
    MailStore& db = h.seed();
    // The sender is current; the addressee's account is polled by the receive.
    qv::test::seed_current_account(db, account_of(s, s.user1, s.pass1, s.addr1, s.submission_port));
    qv::test::seed_other_account(db, account_of(s, s.user2, s.pass2, s.addr2, s.submission_port));
    ASSERT_TRUE(db.updateVoiceSec(2));
    ASSERT_TRUE(db.updateSignature(QStringLiteral("テスト太郎")));
    QTemporaryDir sounds;
    const QString wav = sounds.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(qv::test::write_tone_wav(wav, 2));
    ASSERT_TRUE(qv::test::install_recorder(h.dataDir()));
    ASSERT_TRUE(h.start());
    h.window().runner().setTickMilliseconds(20);
    recorder_of(h).recorder_extra_args = QStringLiteral("--wav \"%1\"").arg(wav);

    const QString subject = QStringLiteral("録音付きの連絡①～髙橋");
    write_mail(h, s.addr2, subject,
               QStringLiteral("明日の会議は十時からです。資料をお持ちください。"));
    const QString body = h.w().body->toPlainText();
    h.key(Qt::Key_Insert);
    ASSERT_TRUE(h.parts().recorder->voice_attached());
    const QString recording = h.parts().recorder->voice_path();
    const QByteArray recorded = qv::test::file_bytes(recording);
    ASSERT_GT(recorded.size(), 1000);

    h.mark();
    h.key(Qt::Key_Escape);
    EXPECT_EQ(h.spokenSinceMark(), QStringList({QStringLiteral("メールを送信します"),
                                                QStringLiteral("音声添付ファイル付きでメールを") +
                                                    s.addr2 + QStringLiteral("へ送信しました")}));
    EXPECT_FALSE(QFile::exists(recording));
    EXPECT_FALSE(h.parts().recorder->voice_attached());
    EXPECT_GE(qv::test::count_log_lines(s.postfix_log, {"sasl_username=user1"}), 1);
    ASSERT_TRUE(qv::test::wait_for_maildir(s, s.user2, 1, 20000));

    // Received as the program receives, and listed as the inbox lists it.
    h.parts().receiver->receive_mail();
    h.parts().mail_list->set_current_folder(kInbox);
    h.parts().mail_list->read_mail_from_db();
    FlexGrid* grid = h.w().MSFlexGrid1;
    int row = 0;
    for (int r = 1; r < grid->rowCount(); ++r)
        if (grid->cellText(r, 2) == QStringLiteral("♪　") + subject) row = r;
    ASSERT_GT(row, 0) << "not in the inbox";
    EXPECT_TRUE(grid->cellText(row, 1).contains(s.addr1));

    const int id = grid->cellText(row, 0).toInt();
    const std::optional<MailBody> stored = h.store().mailBody(id);
    ASSERT_TRUE(stored);
    // Receiving keeps the blank after "Body:" and the mail's last line break; the text between
    // is the text written.
    EXPECT_EQ(stored->body.trimmed(), body);
    EXPECT_TRUE(body.contains(QStringLiteral("\nテスト太郎")));
    EXPECT_TRUE(stored->attach.endsWith(QStringLiteral(".mp3"))) << stored->attach.toStdString();
    const QString attached = QFileInfo(stored->attach).isAbsolute()
                                 ? stored->attach
                                 : QDir(h.paths().mail_dir).filePath(stored->attach);
    EXPECT_TRUE(qv::test::file_bytes(attached) == recorded);
}

class SendFailure : public ::testing::Test {
  protected:
    // Sends a prepared mail through `account` and returns what was said after "メールを送信します".
    QString send_through(const TestAccount& account) {
        qv::test::seed_current_account(h.seed(), account);
        if (!h.start()) {
            ADD_FAILURE() << "the window did not start";
            return {};
        }
        write_mail(h, QStringLiteral("user2@example.test"), QStringLiteral("届かない件"),
                   QStringLiteral("本文"));
        body = h.w().body->toPlainText();
        h.mark();
        h.key(Qt::Key_Escape);
        const QStringList said = h.spokenSinceMark();
        if (said.size() != 2 || said[0] != QStringLiteral("メールを送信します")) {
            ADD_FAILURE() << "said: " << said.join(QLatin1Char('|')).toStdString();
            return {};
        }
        return said[1];
    }
    void expect_mail_kept_and_program_going_on() {
        EXPECT_EQ(h.w().mailto->text(), QStringLiteral("user2@example.test"));
        EXPECT_EQ(h.w().subject->text(), QStringLiteral("届かない件"));
        EXPECT_EQ(h.w().body->toPlainText(), body);
        // The program answers the next key as ever.
        h.mark();
        h.key(Qt::Key_Return);
        EXPECT_EQ(h.spokenSinceMark().value(0), QStringLiteral("作成したメールの確認"));
    }

    qv::test::RecordingPauser pauser;
    CurlMailComponent mail{pauser};
    WindowHarness h;
    QString body;
    const QString tail = QStringLiteral("メールをuser2@example.testへ送信しました");
};

TEST_F(SendFailure, ServerDown) {
    QV_REQUIRE_MAIL_SERVERS(s);
    h.componentInstead = &mail;
    TestAccount account = account_of(s, s.user1, s.pass1, s.addr1, qv::test::unused_port());
    const QString said = send_through(account);
    ASSERT_TRUE(said.endsWith(tail)) << said.toStdString();
    const QString reason = said.chopped(tail.size());
    EXPECT_TRUE(reason.startsWith(QStringLiteral("送信できませんでした"))) << said.toStdString();
    EXPECT_EQ(h.w().cmd_message->text(), said);
    expect_mail_kept_and_program_going_on();
}

TEST_F(SendFailure, LoginRefused) {
    QV_REQUIRE_MAIL_SERVERS(s);
    qv::test::empty_mailbox(s, s.user2);
    h.componentInstead = &mail;
    TestAccount account =
        account_of(s, s.user1, QStringLiteral("wrong"), s.addr1, s.submission_port);
    const QString said = send_through(account);
    EXPECT_EQ(said, QStringLiteral("送信できませんでした（認証に失敗しました）") + tail);
    EXPECT_EQ(h.w().cmd_message->text(), said);
    expect_mail_kept_and_program_going_on();
    EXPECT_EQ(qv::test::maildir_count(s, s.user2), 0);
}

}  // namespace
