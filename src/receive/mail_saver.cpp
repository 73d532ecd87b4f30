#include "receive/mail_saver.h"

#include "core/clock.h"
#include "core/wait.h"
#include "mail/mail_component.h"
#include "receive/mail_parts.h"
#include "store/mail_store.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

namespace qv {

namespace {

const QString kFields = QStringLiteral("subject:from:date:body");

// A batch also ends when its mails hold this many characters, so that a run of huge mails does
// not pile up in memory.
constexpr qsizetype kBatchChars = 8 * 1024 * 1024;

// The name of an attachment saved in the mail directory, or empty for one saved elsewhere.
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
    if (store_.insertMail(stored_date(clock_.now()), cfile, wfrom, subject, body_for_store(body),
                          attachment_path(attach))) {
        return true;
    }
    error_ = store_.lastError();
    std::fprintf(stderr, "quorvel: cannot store the received mail %s: %s\n", qUtf8Printable(cfile),
                 qUtf8Printable(error_));
    return false;
}

QSet<QString> MailSaver::known_names(const QString& mail_dir) {
    if (ledger_.dir() != mail_dir) ledger_.load(mail_dir);
    QSet<QString> in_database;
    std::vector<std::pair<QString, QByteArray>> missing;
    const auto note = [&](const QString& name, bool is_mail) {
        in_database.insert(name);
        if (ledger_.contains(name)) return;
        // Stored just before a crash: remember it, with its digest while its file is there.
        missing.emplace_back(name, is_mail && is_saved_mail_name(name)
                                       ? StoredLedger::digestOf(QDir(mail_dir).filePath(name))
                                       : QByteArray());
    };
    for (const auto& [file, attach] : store_.mailFiles()) {
        note(file, true);
        const QString attachment = name_in(mail_dir, attach);
        if (!attachment.isEmpty()) note(attachment, false);
    }
    ledger_.add(missing);
    return in_database;
}

int MailSaver::store_files(const QStringList& names, const QString& mail_dir,
                           const Progress& progress) {
    error_.clear();
    const QSet<QString> in_database = known_names(mail_dir);
    QStringList todo;
    QSet<QString> seen;
    for (const QString& name : names) {
        if (seen.contains(name) || ledger_.contains(name) || in_database.contains(name)) continue;
        seen.insert(name);
        todo.append(name);
    }

    struct Read {
        QString name;
        QByteArray digest;
        MailArray parts;
    };
    const int total = static_cast<int>(todo.size());
    int stored = 0;
    int next = 0;
    while (next < total) {
        std::vector<Read> batch;
        waiter_.run([&] {
            // The digests read the files a second time, on a thread of their own beside the
            // parsing; they stop at the end of the batch.
            const int limit = std::min(total - next, batch_files_);
            std::vector<QByteArray> digests(static_cast<size_t>(limit));
            std::atomic<int> wanted{limit};
            std::thread digester([&] {
                for (int k = 0; k < wanted.load(); ++k) {
                    digests[static_cast<size_t>(k)] =
                        StoredLedger::digestOf(QDir(mail_dir).filePath(todo.at(next + k)));
                }
            });
            qsizetype chars = 0;
            while (static_cast<int>(batch.size()) < limit && chars < kBatchChars) {
                const QString& name = todo.at(next + static_cast<int>(batch.size()));
                MailArray parts = component_.ReadMail(name, kFields, mail_dir);
                if (parts) {
                    for (const QString& part : *parts) chars += part.size();
                }
                batch.push_back({name, QByteArray(), std::move(parts)});
            }
            wanted = static_cast<int>(batch.size());
            digester.join();
            for (size_t k = 0; k < batch.size(); ++k) batch[k].digest = std::move(digests[k]);
        });
        next += static_cast<int>(batch.size());

        const bool grouped = store_.beginBatch();
        std::vector<std::pair<QString, QByteArray>> done;
        QSet<QByteArray> digests;
        int mails = 0;
        for (const Read& r : batch) {
            if (!r.digest.isEmpty() &&
                (ledger_.containsDigest(r.digest) || digests.contains(r.digest))) {
                // The same bytes as a mail already stored: a second copy of one download.
                done.emplace_back(r.name, r.digest);
                continue;
            }
            if (!r.parts) {
                // Not a mail the component can read: it stays in the folder, unstored.
                std::fprintf(stderr, "quorvel: cannot read the received mail %s: %s\n",
                             qUtf8Printable(r.name), qUtf8Printable(component_.lastError()));
                continue;
            }
            const ReceivedMail m = split_read_mail(*r.parts);
            if (!savemail2db(r.name, m.sender, m.date, m.subject, m.body, m.attach)) continue;
            done.emplace_back(r.name, r.digest);
            if (!r.digest.isEmpty()) digests.insert(r.digest);
            ++mails;
            const QString attachment = name_in(mail_dir, attachment_path(m.attach));
            if (!attachment.isEmpty()) done.emplace_back(attachment, QByteArray());
        }
        if (grouped && !store_.commitBatch()) {
            // None of this batch is in the database: the files stay for the next attempt.
            error_ = store_.lastError();
            std::fprintf(stderr, "quorvel: cannot store %d received mails: %s\n",
                         static_cast<int>(batch.size()), qUtf8Printable(error_));
            continue;
        }
        ledger_.add(done);
        stored += mails;
        if (progress) progress(next, total);
    }
    return stored;
}

QStringList MailSaver::left_over_files(const QString& mail_dir) {
    const QSet<QString> in_database = known_names(mail_dir);
    QStringList left;
    const QStringList names = QDir(mail_dir).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        if (!is_saved_mail_name(name)) continue;
        if (ledger_.contains(name) || in_database.contains(name)) continue;
        left.append(name);
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
