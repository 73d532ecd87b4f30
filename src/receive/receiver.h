#pragma once

#include "mail/mail_component.h"
#include "receive/mail_saver.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <utility>

namespace qv {

struct Account;
struct AccountTable;
class Clock;
class Feedback;
class MailComponent;
class MailStore;
struct Paths;
class PlainLogin;
class Waiter;

// Asking every account's server how much mail waits, and receiving it into the database.
//
// Several accounts, POP3 and IMAP alike: the check adds up what waits on all of them and says the
// total once, and waiting_mail_count holds that total. A server that cannot be reached or refuses
// the login counts as no mail in what is said; the status line names the account and the reason.
// The transport runs off the GUI thread while the user's input waits.
//
// Each account's mail is left on the server or deleted once stored, as the account says
// (MailStore::keepOnServer), and when it does not say, as its address suggests: IMAP keeps,
// POP3 deletes. The component hands each batch it saved to this object, which stores it on the
// GUI thread (the database lives there) before the component deletes any of it on the server.
class Receiver : public QObject {
    Q_OBJECT
  public:
    Receiver(AccountTable& accounts, const Paths& paths, MailStore& store, MailComponent& component,
             Feedback& out, const Clock& clock, Waiter& waiter, QObject* parent = nullptr);
    ~Receiver() override;

    void check_new_mail();
    void mail_check_Click() { check_new_mail(); }
    // What the last check found waiting, on all accounts together.
    int waiting_mail_count() const { return waiting_mail_count_; }
    // Whether the last check found what a stopped receive left undone: mails saved but not
    // stored, or stored but not yet deleted on a server that should not keep them.
    bool receive_unfinished() const { return receive_unfinished_; }

    // Receives when the last check found a stopped receive's work undone, saying nothing when
    // that only finished it (no new mail, no failure). Returns how many mails were stored.
    int finish_unfinished_receive();

    // Receives what the check just before found, from the accounts that answered it: an account
    // whose failure was just said is not tried, and said, a second time. Returns how many mails
    // were stored.
    int receive_checked_mail();

    // Receives every account's waiting mail and stores it. The status line shows the progress;
    // a receive that lasts says how far it is every few seconds; the end says how many mails
    // were stored and names each account that failed, with why. Returns how many were stored.
    int receive_mail();

    // Whether receiving leaves the account's mail on the server.
    bool keeps_mail_on_server(const Account& account);

    // Stores the saved mail files that never got their row (the program was stopped while it
    // received). Returns how many were stored.
    int store_left_over_mail();

    MailSaver& saver() { return saver_; }

    // Who asks whether an account may log in in the clear where its server offers no STARTTLS;
    // without it such an account fails with the component's reason.
    void set_plain_login(PlainLogin* plain_login) { plain_login_ = plain_login; }

  private:
    // The POP fields take the account's server, user name and password.
    void use_account(const Account& account);
    static QString account_label(const Account& account);
    void show_storing(int done, int total);
    // Accounts whose servers answer neither the check nor a receive right after it.
    enum class Skip { None, FailedCheck };
    int receive(bool quiet_when_nothing, Skip skip);
    // Stores a batch the component handed over (on the GUI thread); true when all of it is.
    bool store_batch(const QStringList& names);
    // RcvMail for the account (whose fields use_account() set), off the GUI thread, under its
    // answer about a plain login; *error is why it failed.
    MailArray rcv_mail(const Account& account, const QString& command, QString* error);

    AccountTable& accounts_;
    const Paths& paths_;
    MailComponent& component_;
    Feedback& out_;
    Waiter& waiter_;
    MailStore& store_;
    MailSaver saver_;
    PlainLogin* plain_login_ = nullptr;
    int waiting_mail_count_ = 0;
    bool receive_unfinished_ = false;
    QSet<int> check_failed_;  // positions of the accounts that failed the last check
    int stored_ = 0;          // mails stored by the receive in hand
    bool receiving_ = false;
    std::pair<int, int> progress_;  // mails received, mails waiting, while receiving
};

}  // namespace qv
