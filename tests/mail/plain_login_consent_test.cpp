// A server that offers no STARTTLS (here: a proxy hiding it from the real servers) gets no
// password in the clear before the user said yes for the account, is asked about once, and the
// answer is kept; a server that offers it is never asked about.

#include "mail/curl_mail_component.h"
#include "settings/plain_login.h"
#include "support/dialog_walk.h"
#include "support/fault_proxy.h"
#include "support/test_accounts.h"
#include "support/window_harness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

using namespace qv;
using namespace qv::test;

namespace {

// The real window and mail component, one account of user 1 on the given servers. Every
// question box that opens, at start-up or later, is answered `yes` (or no), and what it asked is
// kept with what had reached the server through `proxy` by then.
struct ConsentWindow {
    RecordingPauser pauser;
    CurlMailComponent mail{pauser};
    WindowHarness h;
    const FaultProxy& proxy;
    bool yes = false;
    QStringList asked;
    QByteArray sent_before_answer;
    QTimer watch;

    ConsentWindow(const MailServers& s, const FaultProxy& p, const QString& pop,
                  const QString& smtp)
        : proxy(p) {
        h.componentInstead = &mail;
        AccountFields a = real_account(s, 1, 0, 0);
        a.pop = pop;
        a.smtp = smtp;
        seed_accounts(h.seed(), {a});
        h.onModal = [this](QWidget* modal) { answer(modal); };
        QObject::connect(&watch, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) answer(modal);
        });
        watch.start(20);
    }
    void answer(QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box || box->property("answered").toBool()) return;
        box->setProperty("answered", true);
        asked << box->text();
        activate(box);  // as a user's window system would: the focused button is said
        sent_before_answer = proxy.from_clients();
        for (QAbstractButton* b : box->buttons()) {
            if (box->buttonRole(b) == (yes ? QMessageBox::YesRole : QMessageBox::NoRole))
                b->click();
        }
    }
    std::optional<bool> stored() { return h.store().plainLogin(h.store().accounts().at(0).id); }
};

const QString kQuestion = QStringLiteral(
    "アカウント「user1@example.test」のサーバー 127.0.0.1 は暗号化通信（STARTTLS）に対応して"
    "いません。このまま接続すると、パスワードが暗号化されずに送られます。暗号化せずに接続しますか");

// A POP3 login (USER/PASS or SASL) or an SMTP one went over the wire in the clear.
bool login_in(const QByteArray& wire) { return wire.contains("USER ") || wire.contains("AUTH "); }

QString plain(const char* scheme, int port) {
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
}

}  // namespace

// 0: the proxy hides STLS and the user says No; 1: hides it, Yes; 2: the server offers STLS.
class PlainPop3 : public ::testing::TestWithParam<int> {};

TEST_P(PlainPop3, AskedOnceAtStartUpNothingInTheClearBeforeYesAndTheAnswerIsKept) {
    QV_REQUIRE_MAIL_SERVERS(s);
    empty_mailbox(s, s.user1);
    seed_message(s, s.user1, "Subject: first\n\nbody\n");
    FaultProxy proxy(s.pop3_port, FaultProxy::Mode::Forward);
    const bool offered = GetParam() == 2;
    if (!offered) proxy.hide_tls();
    ConsentWindow t(s, proxy, plain("pop3", proxy.port()), plain("smtps", s.smtps_port));
    t.yes = GetParam() == 1;
    ASSERT_TRUE(t.h.start());

    const QStringList question = offered ? QStringList() : QStringList{kQuestion};
    EXPECT_EQ(t.asked, question);
    EXPECT_EQ(t.h.spoken().count(QStringLiteral("暗号化されていない接続。") + kQuestion),
              question.size());
    EXPECT_EQ(t.h.spoken().contains(QStringLiteral("いいえ ボタン")), !offered);  // the default
    EXPECT_EQ(t.sent_before_answer.contains("CAPA"), !offered);
    EXPECT_FALSE(login_in(t.sent_before_answer));
    EXPECT_EQ(t.stored(), offered ? std::nullopt : std::optional<bool>(t.yes));
    EXPECT_TRUE(!offered || proxy.from_clients().contains("STLS"));
    EXPECT_EQ(login_in(proxy.from_clients()), t.yes);  // offered: the login went inside TLS
    EXPECT_EQ(t.h.store().mailsInFolder(kInbox).size(), t.yes || offered ? 1u : 0u);

    const QString refused = "user1@example.test のメールを確認できません：" +
                            PlainLogin::refusal(QStringLiteral("127.0.0.1"));
    if (GetParam() == 0) {
        EXPECT_TRUE(t.h.spoken().contains(refused));
        t.h.mark();
        t.h.trigger(QStringLiteral("mail_check"));
        EXPECT_EQ(t.h.spokenSinceMark(), QStringList{refused});  // why, without a question
        EXPECT_FALSE(login_in(proxy.from_clients()));
        EXPECT_EQ(pop3_stat(s, s.user1, s.pass1).first, 1);
    } else if (t.yes) {  // then a receive on command that asks nothing
        seed_message(s, s.user1, "Subject: second\n\nbody\n");
        t.h.trigger(QStringLiteral("receive"));
        EXPECT_EQ(t.h.store().mailsInFolder(kInbox).size(), 2u);
        EXPECT_EQ(pop3_stat(s, s.user1, s.pass1).first, 0);
    }
    EXPECT_EQ(t.asked, question);
}

INSTANTIATE_TEST_SUITE_P(Answer, PlainPop3, ::testing::Values(0, 1, 2), [](const auto& info) {
    return std::string(info.param == 2 ? "StartTlsOffered" : info.param ? "Yes" : "No");
});

TEST(PlainSmtp, TheSendAsksBeforeAnyMailGoesOutAndIsSentAfterYes) {
    QV_REQUIRE_MAIL_SERVERS(s);
    empty_mailbox(s, s.user1);
    empty_mailbox(s, s.user2);
    FaultProxy proxy(s.smtp_port, FaultProxy::Mode::Forward);  // a server without STARTTLS
    ConsentWindow t(s, proxy, plain("pop3s", s.pop3s_port), plain("smtp", proxy.port()));
    t.yes = true;
    ASSERT_TRUE(t.h.start());
    EXPECT_TRUE(t.asked.isEmpty());  // the check on pop3s:// asked nothing

    for (const char* subject : {"consent one", "consent two"}) {
        t.h.w().mailto->setText(s.addr2);
        t.h.w().subject->setText(QLatin1String(subject));
        t.h.w().body->setPlainText(QStringLiteral("本文"));
        t.h.parts().sender->send_mail();
    }
    EXPECT_EQ(t.asked, QStringList{kQuestion});
    EXPECT_TRUE(t.sent_before_answer.contains("EHLO"));
    EXPECT_FALSE(t.sent_before_answer.contains("MAIL FROM") || login_in(t.sent_before_answer));
    EXPECT_EQ(t.stored(), std::optional<bool>(true));
    EXPECT_TRUE(wait_for_maildir(s, s.user2, 2, 20000));
    EXPECT_EQ(t.h.spoken().count("メールを" + s.addr2 + "へ送信しました"), 2);
}
