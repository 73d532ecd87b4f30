#pragma once

#include "receive/mail_saver.h"

#include <QObject>
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
class Waiter;

// Asking every account's server how much mail waits, and receiving it into the database.
//
// Several accounts: the check adds up what waits on all of them and says the total once, and
// waiting_mail_count holds that total. A server that cannot be reached or refuses the login
// counts as no mail in what is said; the status line names the account and the reason. The
// transport runs off the GUI thread while the user's input waits.
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

    // Receives every account's waiting mail and stores it. The status line shows the progress;
    // a receive that lasts says how far it is every few seconds; the end says how many mails
    // were stored and names each account that failed, with why. Returns how many were stored.
    int receive_mail();

    // Stores the saved mail files that never got their row (the program was stopped while it
    // received). Returns how many were stored.
    int store_left_over_mail();

    MailSaver& saver() { return saver_; }

  private:
    // The POP fields take the account's server, user name and password.
    void use_account(const Account& account);
    static QString account_label(const Account& account);
    void show_storing(int done, int total);

    AccountTable& accounts_;
    const Paths& paths_;
    MailComponent& component_;
    Feedback& out_;
    Waiter& waiter_;
    MailSaver saver_;
    int waiting_mail_count_ = 0;
    bool receiving_ = false;
    std::pair<int, int> progress_;  // mails received, mails waiting, while receiving
};

}  // namespace qv
