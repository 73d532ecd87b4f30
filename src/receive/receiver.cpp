#include "receive/receiver.h"

#include "core/feedback.h"
#include "core/paths.h"
#include "core/wait.h"
#include "mail/mail_component.h"
#include "mail/server_address.h"
#include "settings/account_table.h"
#include "settings/accounts.h"
#include "settings/plain_login.h"
#include "store/mail_store.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace qv {

namespace {

const QString kStat = QStringLiteral("STAT");
const QString kSaveAndDelete = QStringLiteral("SAVEALLD");
const QString kSaveAndKeep = QStringLiteral("SAVEALL");

// The number of waiting mails in a STAT answer ("<count> <size>"); 0 for a failure, an answer
// without a blank, "0 0", or a count that is not a number.
int waiting_count(const MailArray& result) {
    if (!result || result->isEmpty()) return 0;
    const QString& status = result->first();
    const qsizetype blank = status.indexOf(QLatin1Char(' '));
    if (blank <= 0 || status == QLatin1String("0 0")) return 0;
    bool ok = false;
    const int count = status.left(blank).toInt(&ok);
    return ok && count > 0 ? count : 0;
}

// How often a long receive says how far it is.
constexpr int kProgressEveryMs = 5000;

QString reason_of(const QString& error) {
    return error.isEmpty() ? QStringLiteral("理由は不明です") : error;
}

}  // namespace

Receiver::Receiver(AccountTable& accounts, const Paths& paths, MailStore& store,
                   MailComponent& component, Feedback& out, const Clock& clock, Waiter& waiter,
                   QObject* parent)
    : QObject(parent),
      accounts_(accounts),
      paths_(paths),
      component_(component),
      out_(out),
      waiter_(waiter),
      store_(store),
      saver_(store, component, clock, waiter) {}

Receiver::~Receiver() = default;

void Receiver::use_account(const Account& account) {
    accounts_.cur_pop = account.pop;
    accounts_.cur_user = account.account;
    accounts_.cur_password = account.password;
}

QString Receiver::account_label(const Account& account) {
    if (!account.email.isEmpty()) return account.email;
    return account.account + QLatin1Char('@') + account.pop;
}

bool Receiver::keeps_mail_on_server(const Account& account) {
    return qv::keeps_mail_on_server(store_, account);
}

void Receiver::check_new_mail() {
    AccountTable& s = accounts_;
    if (s.account_count == 0) return;  // nothing asked, nothing said
    int total = 0;
    QStringList failures;
    receive_unfinished_ = false;
    check_failed_.clear();
    for (int i = 1; i <= s.account_count; ++i) {
        const Account& account = s.accounts[i];
        use_account(account);
        QString error;
        const MailArray result = rcv_mail(account, kStat, &error);
        waiting_mail_count_ = 0;
        if (!result) {
            failures << QStringLiteral("%1 のメールを確認できません：%2")
                            .arg(account_label(account), reason_of(error));
            std::fprintf(stderr, "quorvel: %s\n", qUtf8Printable(failures.last()));
            check_failed_.insert(i);
            continue;
        }
        if (const int count = waiting_count(result); count > 0) {
            total += count;
            component_.Sleep(1);
        }
        // "<unstored> <stored on the server>", from a receive that was stopped.
        const QStringList left = result->value(1).split(QLatin1Char(' '));
        if (left.value(0).toInt() > 0 ||
            (left.value(1).toInt() > 0 && !keeps_mail_on_server(account))) {
            receive_unfinished_ = true;
        }
    }
    waiting_mail_count_ = total;
    // A server that could not be asked is never reported as an empty mailbox: the count is
    // said only for the accounts that answered, and each failure names its account and why.
    const bool none_answered = failures.size() == s.account_count;
    if (!none_answered) {
        const QString message = total > 0 ? QStringLiteral("メールが届いています[メールの数は]") +
                                                QString::number(total)
                                          : QStringLiteral("新規メールは有りません");
        out_.show_status(message);
        out_.speak(message);
    }
    for (const QString& failure : failures) out_.tell(failure);
}

void Receiver::show_storing(int done, int total) {
    out_.show_status(QStringLiteral("保存中 %1/%2").arg(done).arg(total));
}

bool Receiver::store_batch(const QStringList& names) {
    stored_ += saver_.store_files(names, paths_.mail_dir,
                                  [this](int done, int total) { show_storing(done, total); });
    return saver_.lastError().isEmpty();
}

MailArray Receiver::rcv_mail(const Account& account, const QString& command, QString* error) {
    const AccountTable& s = accounts_;
    MailArray result;
    const auto attempt = [&] {
        waiter_.run([&] {
            result =
                component_.RcvMail(s.cur_pop, s.cur_user, s.cur_password, command, paths_.mail_dir);
            if (!result) *error = component_.lastError();
        });
        return result.has_value();
    };
    if (!plain_login_) {
        attempt();
    } else {
        plain_login_->run(account, account.pop, mail::incoming_protocol(account.pop), attempt,
                          error);
    }
    return result;
}

int Receiver::store_left_over_mail() {
    return saver_.store_left_over_mail(paths_.mail_dir,
                                       [this](int done, int total) { show_storing(done, total); });
}

int Receiver::receive_mail() { return receive(false, Skip::None); }

int Receiver::receive_checked_mail() { return receive(false, Skip::FailedCheck); }

int Receiver::finish_unfinished_receive() {
    return receive_unfinished_ ? receive(true, Skip::FailedCheck) : 0;
}

int Receiver::receive(bool quiet_when_nothing, Skip skip) {
    if (receiving_) return 0;
    receiving_ = true;
    AccountTable& s = accounts_;
    QStringList failures;
    int failed_accounts = 0;
    const auto note_store_error = [&] {
        if (!saver_.lastError().isEmpty()) {
            failures << QStringLiteral(
                            "受信したメールを保存できません：%1。ディスクの空きを確かめて"
                            "から、もう一度受信してください")
                            .arg(saver_.lastError());
        }
        saver_.clearError();  // said once
    };
    // Connecting can take a while: the user hears at once that the command was taken.
    if (!quiet_when_nothing && s.account_count > 0) {
        out_.tell(QStringLiteral("メールを受信します"));
    }
    stored_ = store_left_over_mail();
    note_store_error();

    // The component reports its progress from its own thread; the status line shows it here,
    // at most ten times a second, and a long receive says how far it is every few seconds. A
    // report still queued when this object is gone is dropped.
    auto since = std::make_shared<QElapsedTimer>();
    QElapsedTimer spoken;
    spoken.start();
    component_.setProgress([this, since](int done, int total) {
        if (done != total && since->isValid() && since->elapsed() < 100) return;
        since->start();
        QMetaObject::invokeMethod(
            this,
            [this, done, total] {
                if (receiving_) {
                    out_.show_status(QStringLiteral("受信中 %1/%2").arg(done).arg(total));
                    progress_ = {done, total};
                }
            },
            Qt::QueuedConnection);
    });
    // Each batch is stored here, on this thread, while the component's thread waits for the
    // answer: nothing of it is deleted on the server before it is in the database.
    component_.setBatchSink([this](const QStringList& names) {
        bool stored = false;
        const auto store = [&] { stored = store_batch(names); };
        if (QThread::currentThread() == thread()) {
            store();
        } else {
            QMetaObject::invokeMethod(this, store, Qt::BlockingQueuedConnection);
        }
        return stored;
    });
    QTimer progress_voice;
    progress_voice.setInterval(kProgressEveryMs);
    connect(&progress_voice, &QTimer::timeout, this, [this] {
        if (progress_.second <= 0 || progress_.first >= progress_.second) return;
        out_.speak(
            QStringLiteral("%1通中%2通を受信しました").arg(progress_.second).arg(progress_.first));
    });
    progress_ = {0, 0};
    progress_voice.start();

    int tried_accounts = 0;
    for (int i = 1; i <= s.account_count; ++i) {
        if (skip == Skip::FailedCheck && check_failed_.contains(i)) continue;
        ++tried_accounts;
        const Account& account = s.accounts[i];
        use_account(account);
        const QString command = keeps_mail_on_server(account) ? kSaveAndKeep : kSaveAndDelete;
        QString error;
        const MailArray saved = rcv_mail(account, command, &error);
        if (!saved) {
            ++failed_accounts;
            failures << QStringLiteral("%1 のメールを受信できません：%2")
                            .arg(account_label(account), reason_of(error));
            std::fprintf(stderr, "quorvel: %s\n", qUtf8Printable(failures.last()));
            note_store_error();
            continue;
        }
        // What the component handed over without a batch (none of it when every batch went
        // through store_batch: those names are stored already).
        stored_ += saver_.store_files(*saved, paths_.mail_dir,
                                      [this](int done, int total) { show_storing(done, total); });
        note_store_error();
    }
    component_.setProgress(nullptr);
    component_.setBatchSink(nullptr);
    progress_voice.stop();

    // The count first, then what went wrong: each failure once, in words, with what to do.
    const int stored = stored_;
    const QString result = stored > 0 ? QStringLiteral("%1通のメールを受信しました").arg(stored)
                                      : QStringLiteral("受信したメールはありません");
    const bool nothing = stored == 0 && failures.isEmpty();
    if ((failed_accounts < tried_accounts || tried_accounts == 0) &&
        !(quiet_when_nothing && nothing)) {
        out_.tell(result);
    }
    if (const int unreadable = static_cast<int>(saver_.take_quarantined().size())) {
        out_.tell(QStringLiteral("読み取れないメールが%1通ありました。メールフォルダーの中の "
                                 "quarantine フォルダーに、そのまま保管してあります")
                      .arg(unreadable));
    }
    for (const QString& failure : failures) out_.tell(failure);
    receiving_ = false;
    return stored;
}

}  // namespace qv
