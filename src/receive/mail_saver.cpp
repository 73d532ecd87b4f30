#include "receive/mail_saver.h"

#include "core/clock.h"
#include "core/kill_point.h"
#include "core/wait.h"
#include "mail/local_files.h"
#include "mail/mail_component.h"
#include "receive/mail_parts.h"
#include "store/mail_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace qv {

namespace {

// A batch also ends when its mails hold this many characters, so that a run of huge mails does
// not pile up in memory.
constexpr qsizetype kBatchChars = 8 * 1024 * 1024;

// The name of an attachment saved in the mail directory (as older versions did), or empty for one
// saved elsewhere.
QString name_in(const QString& mail_dir, const QString& path) {
    if (path.isEmpty()) return QString();
    const QFileInfo info(path);
    if (QDir(info.absolutePath()) != QDir(mail_dir)) return QString();
    return info.fileName();
}

}  // namespace

MailSaver::MailSaver(MailStore& store, MailComponent& component, const Clock& clock, Waiter& waiter)
    : store_(store), component_(component), clock_(clock), waiter_(waiter) {}

bool MailSaver::savemail2db(const QString& cfile, const QString& wfrom, const QString& wdate,
                            const QString& subject, const QString& body, const QString& attach) {
    Q_UNUSED(wdate);  // the row carries the time it was stored, not the mail's own date
    if (store_.insertMail(stored_date(clock_.now()), cfile, wfrom, subject, body, attach)) {
        return true;
    }
    error_ = store_.lastError();
    std::fprintf(stderr, "quorvel: cannot store the received mail %s: %s\n", qUtf8Printable(cfile),
                 qUtf8Printable(error_));
    return false;
}

void MailSaver::load_ledger(const QString& mail_dir) {
    if (ledger_.isLoaded() && ledger_.dir() == mail_dir) return;
    ledger_.load(mail_dir);
    // Stored just before a crash: the database has the row, the list not yet the name.
    QStringList missing;
    for (const auto& [file, attach] : store_.mailFiles()) {
        if (!ledger_.contains(file)) missing.append(file);
        const QString attachment = name_in(mail_dir, attach);
        if (!attachment.isEmpty() && !ledger_.contains(attachment)) missing.append(attachment);
    }
    // Known from now on either way; a list that could not take them gets them again next time.
    if (!ledger_.add(missing)) {
        std::fprintf(stderr, "quorvel: %s\n", qUtf8Printable(ledger_.errorString()));
    }
}

int MailSaver::store_files(const QStringList& names, const QString& mail_dir,
                           const Progress& progress) {
    error_.clear();
    load_ledger(mail_dir);
    QStringList todo;
    QSet<QString> seen;
    for (const QString& name : names) {
        if (seen.contains(name) || ledger_.contains(name)) continue;
        seen.insert(name);
        todo.append(name);
    }

    struct Read {
        QString name;
        std::optional<ParsedMail> mail;
        QString error;
    };
    const int total = static_cast<int>(todo.size());
    int stored = 0;
    int next = 0;
    while (next < total) {
        std::vector<Read> batch;
        waiter_.run([&] {
            const int limit = std::min(total - next, batch_files_);
            qsizetype chars = 0;
            while (static_cast<int>(batch.size()) < limit && chars < kBatchChars) {
                const QString& name = todo.at(next + static_cast<int>(batch.size()));
                Read read{name, component_.ReadMail(name, mail_dir), QString()};
                if (read.mail) {
                    chars += read.mail->subject.size() + read.mail->sender.size() +
                             read.mail->body.size();
                } else {
                    read.error = component_.lastError();
                }
                batch.push_back(std::move(read));
            }
        });
        next += static_cast<int>(batch.size());

        const bool grouped = store_.beginBatch();
        QStringList rows;
        QStringList listed;  // attachments that older versions saved beside the mails
        for (const Read& r : batch) {
            if (!r.mail) continue;
            const ParsedMail& m = *r.mail;
            // The sender has always been stored after one blank.
            if (savemail2db(r.name, QLatin1Char(' ') + m.sender, m.date, m.subject, m.body,
                            m.attachment)) {
                rows.append(r.name);
                const QString attachment = name_in(mail_dir, m.attachment);
                if (!attachment.isEmpty()) listed.append(attachment);
            }
        }
        if (grouped && !store_.commitBatch()) {
            // None of this batch is in the database: the files stay for the next attempt.
            error_ = store_.lastError();
            std::fprintf(stderr, "quorvel: cannot store %d received mails: %s\n",
                         static_cast<int>(batch.size()), qUtf8Printable(error_));
            continue;
        }
        kill_point("after-commit");
        if (!ledger_.add(rows + listed)) {
            // In the database all the same; only a receive that goes on could lose track.
            error_ = ledger_.errorString();
            std::fprintf(stderr, "quorvel: %s\n", qUtf8Printable(error_));
            return stored + static_cast<int>(rows.size());
        }
        kill_point("after-ledger");
        for (const Read& r : batch) {
            if (!r.mail) quarantine(mail_dir, r.name, r.error);
        }
        stored += static_cast<int>(rows.size());
        if (progress) progress(next, total);
    }
    return stored;
}

QString MailSaver::quarantine_dir(const QString& mail_dir) {
    return QDir(mail_dir).filePath(QStringLiteral("quarantine"));
}

QStringList MailSaver::take_quarantined() { return std::exchange(quarantined_, {}); }

void MailSaver::quarantine(const QString& mail_dir, const QString& name, const QString& reason) {
    const QString folder = quarantine_dir(mail_dir);
    QDir().mkpath(folder);
    const int from =
        ::open(QFile::encodeName(mail_dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int to =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QString used;
    const bool moved = from >= 0 && to >= 0 &&
                       mail::rename_to_new_name(from, QFile::encodeName(name), to, name, &used);
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    if (from >= 0) ::close(from);
    if (to >= 0) ::close(to);
    if (!moved) {
        // Gone already, or the folder refuses: either way it is never tried again.
        std::fprintf(stderr,
                     "quorvel: cannot read the received mail %s (%s) nor move it to %s: %s\n",
                     qUtf8Printable(name), qUtf8Printable(reason), qUtf8Printable(folder),
                     qUtf8Printable(why));
        ledger_.add(QStringList{name});
        return;
    }
    std::fprintf(stderr, "quorvel: cannot read the received mail %s (%s); moved to %s\n",
                 qUtf8Printable(name), qUtf8Printable(reason),
                 qUtf8Printable(QDir(folder).filePath(used)));
    quarantined_.append(used);
}

QStringList MailSaver::left_over_files(const QString& mail_dir) {
    load_ledger(mail_dir);
    QStringList left;
    const QStringList names = QDir(mail_dir).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (is_saved_mail_name(name) && !ledger_.contains(name)) left.append(name);
    }
    return left;
}

int MailSaver::store_left_over_mail(const QString& mail_dir, const Progress& progress) {
    const QStringList left = left_over_files(mail_dir);
    if (left.isEmpty()) return 0;
    std::fprintf(stderr, "quorvel: storing %d received mails that were not stored before\n",
                 static_cast<int>(left.size()));
    return store_files(left, mail_dir, progress);
}

}  // namespace qv
