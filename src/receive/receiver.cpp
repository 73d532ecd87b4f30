#include "receive/receiver.h"

#include "core/app_state.h"
#include "core/context.h"
#include "core/feedback.h"
#include "core/platform.h"
#include "mail/mail_component.h"
#include "store/mail_store.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <cstdio>
#include <memory>

namespace qv {

namespace {

const QString kStat = QStringLiteral("STAT");
const QString kSaveAll = QStringLiteral("SAVEALLD");

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

QString reason_of(const QString& error) {
    return error.isEmpty() ? QStringLiteral("理由は不明です") : error;
}

}  // namespace

Receiver::Receiver(Context& ctx, QObject* parent)
    : QObject(parent), ctx_(ctx), saver_(ctx.store, ctx.component, ctx.clock) {}

Receiver::~Receiver() = default;

void Receiver::use_account(const Account& account) {
    ctx_.state.cur_pop = account.pop;
    ctx_.state.cur_user = account.account;
    ctx_.state.cur_password = account.password;
}

QString Receiver::account_label(const Account& account) {
    if (!account.email.isEmpty()) return account.email;
    return account.account + QLatin1Char('@') + account.pop;
}

void Receiver::check_new_mail() {
    AppState& s = ctx_.state;
    if (s.account_count == 0) return;  // nothing asked, nothing said
    int total = 0;
    QStringList failures;
    for (int i = 1; i <= s.account_count; ++i) {
        const Account& account = s.accounts[i];
        use_account(account);
        MailArray result;
        QString error;
        run_blocking([&] {
            result =
                ctx_.component.RcvMail(s.cur_pop, s.cur_user, s.cur_password, kStat, s.mail_dir);
            if (!result) error = ctx_.component.lastError();
        });
        s.waiting_mail_count = 0;
        if (!result) {
            failures << QStringLiteral("%1 のメールを確認できません：%2")
                            .arg(account_label(account), reason_of(error));
            std::fprintf(stderr, "quorvel: %s\n", qUtf8Printable(failures.last()));
            continue;
        }
        if (const int count = waiting_count(result); count > 0) {
            total += count;
            ctx_.component.Sleep(1);
        }
    }
    s.waiting_mail_count = total;
    const QString message =
        total > 0 ? QStringLiteral("メールが届いています[メールの数は]") + QString::number(total)
                  : QStringLiteral("新規メールは有りません");
    ctx_.out.show_status(failures.isEmpty() ? message : failures.join(QStringLiteral("　")));
    ctx_.out.speak(message);
}

void Receiver::show_storing(int done, int total) {
    ctx_.out.show_status(QStringLiteral("保存中 %1/%2").arg(done).arg(total));
}

int Receiver::store_left_over_mail() {
    return saver_.store_left_over_mail(ctx_.state.mail_dir,
                                       [this](int done, int total) { show_storing(done, total); });
}

void Receiver::receive_mail() {
    if (receiving_) return;
    receiving_ = true;
    AppState& s = ctx_.state;
    QStringList failures;
    const auto note_store_error = [&] {
        if (!saver_.lastError().isEmpty()) {
            failures
                << QStringLiteral("受信したメールを保存できません：%1").arg(saver_.lastError());
        }
    };
    int stored = store_left_over_mail();
    note_store_error();

    // The component reports its progress from its own thread; the status line shows it here,
    // at most ten times a second. A report still queued when this object is gone is dropped.
    auto since = std::make_shared<QElapsedTimer>();
    ctx_.component.setProgress([this, since](int done, int total) {
        if (done != total && since->isValid() && since->elapsed() < 100) return;
        since->start();
        QMetaObject::invokeMethod(
            this,
            [this, done, total] {
                if (receiving_) {
                    ctx_.out.show_status(QStringLiteral("受信中 %1/%2").arg(done).arg(total));
                }
            },
            Qt::QueuedConnection);
    });

    for (int i = 1; i <= s.account_count; ++i) {
        const Account& account = s.accounts[i];
        use_account(account);
        MailArray saved;
        QString error;
        run_blocking([&] {
            saved =
                ctx_.component.RcvMail(s.cur_pop, s.cur_user, s.cur_password, kSaveAll, s.mail_dir);
            if (!saved) error = ctx_.component.lastError();
        });
        if (!saved) {
            failures << QStringLiteral("%1 のメールを受信できません：%2")
                            .arg(account_label(account), reason_of(error));
            std::fprintf(stderr, "quorvel: %s\n", qUtf8Printable(failures.last()));
            continue;
        }
        stored += saver_.store_files(*saved, s.mail_dir,
                                     [this](int done, int total) { show_storing(done, total); });
        note_store_error();
    }
    ctx_.component.setProgress(nullptr);

    ctx_.out.show_status(failures.isEmpty()
                             ? QStringLiteral("%1通のメールを受信しました").arg(stored)
                             : failures.join(QStringLiteral("　")));
    receiving_ = false;
}

void Receiver::receive_Click() {
    receive_mail();
    Hooks::call(ctx_.hooks.send_mail);
}

}  // namespace qv
