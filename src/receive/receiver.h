#pragma once

#include "receive/mail_saver.h"

#include <QObject>
#include <QString>

namespace qv {

struct Account;
struct Context;

// Asking every account's server how much mail waits, and receiving it into the database.
//
// Several accounts: the check adds up what waits on all of them and says the total once, and
// waiting_mail_count holds that total. A server that cannot be reached or refuses the login
// counts as no mail in what is said; the status line names the account and the reason. The
// transport runs off the GUI thread while the user's input waits.
class Receiver : public QObject {
    Q_OBJECT
  public:
    explicit Receiver(Context& ctx, QObject* parent = nullptr);
    ~Receiver() override;

    void check_new_mail();
    void mail_check_Click() { check_new_mail(); }

    // Receives every account's waiting mail and stores it. Says nothing; the status line shows
    // the progress and the outcome.
    void receive_mail();
    // "送受信(&S)": receive, then send what is being composed.
    void receive_Click();

    bool savemail2db(const QString& cfile, const QString& wfrom, const QString& wdate,
                     const QString& subject, const QString& body, const QString& attach) {
        return saver_.savemail2db(cfile, wfrom, wdate, subject, body, attach);
    }

    // Stores the saved mail files that never got their row (the program was stopped while it
    // received). Returns how many were stored.
    int store_left_over_mail();

  private:
    // The POP fields take the account's server, user name and password.
    void use_account(const Account& account);
    static QString account_label(const Account& account);
    void show_storing(int done, int total);

    Context& ctx_;
    MailSaver saver_;
    bool receiving_ = false;
};

}  // namespace qv
