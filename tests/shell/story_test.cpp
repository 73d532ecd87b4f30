// A user's first day by keys alone against the real servers, and the day things go wrong. The
// transcript is all the test looks at, as it is all the user has.
#include "mail/curl_mail_component.h"
#include "support/dialog_walk.h"
#include "support/golden.h"
#include "support/mail_servers.h"
#include "support/window_harness.h"

#include <QDialog>
#include <QLineEdit>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

// Each expected text, in order, within what was said (other words may come between).
::testing::AssertionResult heard_in_order(const QStringList& said, const QStringList& expected) {
    qsizetype at = 0;
    for (const QString& e : expected) {
        while (at < said.size() && !said[at].contains(e)) ++at;
        if (at == said.size())
            return ::testing::AssertionFailure() << "not heard: " << e << '\n' << said.join('\n');
    }
    return ::testing::AssertionSuccess();
}

QByteArray letter(const MailServers& s, const char* subject, const char* body) {
    return (golden_lines("shell/letter.eml").join(u'\n') + u'\n')
        .arg(s.addr2, s.addr1, QString::fromUtf8(subject), QString::fromUtf8(body))
        .toUtf8();
}

struct Story : ::testing::Test {
    void start(const MailServers& s, const QString& password) {
        component.setTimeouts(5, 5);
        h.componentInstead = &component;
        const QString host = s.host + QLatin1Char(':');
        h.onModal = [this, &s, host, password](QWidget* modal) {
            auto* editor = qobject_cast<QDialog*>(modal);
            if (!editor) return;
            if (typed) {
                // Typed and still open: the keys went astray. Fail rather than wait for ever.
                if (++waited > 250) editor->reject();
                return;
            }
            if (!activate(editor)) return;
            typed = true;
            // The seven fields, typed as a user types them, TAB between, ENTER.
            for (const QString& v :
                 {host + QString::number(s.pop3_port), host + QString::number(s.submission_port),
                  s.user1, password, s.addr1, QStringLiteral("太郎"), QStringLiteral("太郎より")}) {
                const qsizetype said = h.spoken().size();
                h.type(v);
                if (v == password) password_heard = h.spoken().mid(said).join(QString());
                press(editor, Qt::Key_Tab);
            }
            press(editor, Qt::Key_Return);
        };
        ASSERT_TRUE(h.start());
    }
    WindowHarness h;
    CurlMailComponent component{h.pauser};
    bool typed = false;
    int waited = 0;
    QString password_heard;
};

}  // namespace

TEST_F(Story, FirstUseByEarThenReceiveMoveReadReplyAndTheAnswerArrives) {
    QV_REQUIRE_MAIL_SERVERS(s);
    empty_mailbox(s, s.user1);
    empty_mailbox(s, s.user2);
    seed_message(s, s.user1, letter(s, "お茶会のお知らせ", "土曜の三時にお茶会をします。"));
    seed_message(s, s.user1, letter(s, "写真", "先日の写真です。"));
    start(s, s.pass1);

    EXPECT_TRUE(heard_in_order(h.spoken(), golden_lines("shell/first_day_start.txt")));
    EXPECT_EQ(h.pauser.pauses.empty() ? 0 : h.pauser.pauses[0], 4);    // after the first-use prompt
    for (QChar c : s.pass1) EXPECT_FALSE(password_heard.contains(c));  // typed, never said
    EXPECT_EQ(h.accounts().cur_account_index, 1);

    // Moving hears each row and marks nothing read; ENTER reads the one the user is on.
    h.mark();
    for (int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) h.key(key);
    const QStringList moves = h.spokenSinceMark();
    ASSERT_EQ(moves.size(), 3) << moves.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(moves[0].startsWith("未読、花子、"));
    EXPECT_NE(moves[1], moves[0]);
    EXPECT_EQ(moves[2], moves[0]);
    h.key(Qt::Key_Return);
    const QString read = h.spokenSinceMark().join(u'\n');
    EXPECT_TRUE(read.contains("お茶会をします") || read.contains("先日の写真です"))
        << read.toStdString();

    // ESC answers it; the user types, hears it read back, sends; it arrives.
    h.key(Qt::Key_Escape);
    h.type("行きます。");
    h.key(Qt::Key_Escape);
    EXPECT_TRUE(heard_in_order(
        h.spokenSinceMark(),
        golden_lines("shell/first_day_reply.txt").replaceInStrings("%addr2", s.addr2)));
    ASSERT_TRUE(wait_for_maildir(s, s.user2, 1, 20000));
    const QByteArray arrived = maildir_messages(s, s.user2).front();
    EXPECT_TRUE(arrived.contains("Re: ")) << arrived.constData();
    EXPECT_EQ(maildir_count(s, s.user1), 0);  // received, stored and taken off the server
    EXPECT_EQ(h.store().mailsInFolder(kInbox).size(), 2u);
}

TEST_F(Story, AWrongPasswordADeadServerAndARefusedSendAreHeardAndNothingIsLost) {
    QV_REQUIRE_MAIL_SERVERS(s);
    empty_mailbox(s, s.user1);
    seed_message(s, s.user1, letter(s, "残るメール", "消えてはいけません。"));
    start(s, "wrong");
    EXPECT_TRUE(
        heard_in_order(h.spoken(), {s.addr1 + " のメールを確認できません",
                                    "パスワードかユーザー名が違います", "アカウントの設定"}));
    EXPECT_FALSE(h.spoken().contains("新規メールは有りません"));

    // The server goes away: Ctrl+M says so, in words.
    h.accounts().accounts[1].pop = s.host + QStringLiteral(":%1").arg(unused_port());
    h.mark();
    h.key(Qt::Key_M, Qt::ControlModifier);
    EXPECT_TRUE(heard_in_order(h.spokenSinceMark(),
                               {s.addr1 + " のメールを受信できません", "接続できません"}));

    // The send is refused (wrong password at the submission port): the mail stays to try again.
    h.trigger("msg_create");
    h.type(s.addr2);
    h.key(Qt::Key_Tab);
    h.type("届かない");
    h.key(Qt::Key_Tab);
    h.mark();
    h.key(Qt::Key_Escape);
    const QStringList refused = h.spokenSinceMark();
    EXPECT_TRUE(heard_in_order(
        refused, {"送信できませんでした", "送信先、件名、本文はそのまま残っています"}));
    for (const QString& said : refused) EXPECT_FALSE(said.contains("送信しました"));
    EXPECT_EQ(h.w().mailto->text() + '|' + h.w().subject->text(), s.addr2 + "|届かない");
    EXPECT_EQ(maildir_count(s, s.user1), 1);  // never received, never deleted
}
