#pragma once

#include "receive/stored_ledger.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace qv {

class Clock;
class MailComponent;
class MailStore;
class Waiter;

// Stores the mail files the component saved: each is read once with ReadMail and becomes one
// unread row of the inbox. Nothing the server handed over is lost on the way to the database: a
// file whose row never got written (the program was killed, the database refused) stays in the
// mail directory and is stored by the next store_left_over_mail() or when the component hands it
// over again. No file is stored twice: a name that has had its row is in the StoredLedger, which
// is synced after each batch's rows are committed.
//
// A file that ReadMail cannot read at all (the component reads every mail, however broken; this
// is an empty or unreadable file) is moved into quarantine_dir() after that one attempt, so that
// it is never tried again; take_quarantined() tells the caller which.
//
// Runs on the GUI thread (the database connection lives there); ReadMail runs off it while the
// window waits, a batch of files at a time.
class MailSaver {
  public:
    MailSaver(MailStore& store, MailComponent& component, const Clock& clock, Waiter& waiter);

    // Called with (files stored so far, files to store) after each batch.
    using Progress = std::function<void(int done, int total)>;

    // Stores one mail as given (`attach` is the attachment's path, or empty); the row is unread,
    // in the inbox, dated now. False when the database refused (lastError()).
    bool savemail2db(const QString& cfile, const QString& wfrom, const QString& wdate,
                     const QString& subject, const QString& body, const QString& attach);

    // Stores the named files of `mail_dir` (as SAVEALLD returned them), in order, skipping any
    // that already have their row. Returns how many were stored; lastError() is empty when every
    // one of them now has its row (or was unreadable and went to quarantine).
    int store_files(const QStringList& names, const QString& mail_dir,
                    const Progress& progress = {});

    // The saved mail files of `mail_dir` that never got their row, oldest name first.
    QStringList left_over_files(const QString& mail_dir);
    // Stores them. Returns how many were stored.
    int store_left_over_mail(const QString& mail_dir, const Progress& progress = {});

    // Why the last store failed (empty when it did not), until the next store or clearError().
    const QString& lastError() const { return error_; }
    void clearError() { error_.clear(); }

    // Where unreadable received files are kept: "quarantine" in the mail directory.
    static QString quarantine_dir(const QString& mail_dir);
    // The names (in quarantine_dir()) of the files moved there since the last call.
    QStringList take_quarantined();

    // Files read together before their rows are written in one go.
    void setBatch(int files) { batch_files_ = files > 0 ? files : 1; }

  private:
    // Loads the list of stored names for `mail_dir` once, and brings it up to date with the
    // database.
    void load_ledger(const QString& mail_dir);
    // Moves an unreadable received file out of the way.
    void quarantine(const QString& mail_dir, const QString& name, const QString& reason);

    MailStore& store_;
    MailComponent& component_;
    const Clock& clock_;
    Waiter& waiter_;
    StoredLedger ledger_;
    QString error_;
    QStringList quarantined_;
    int batch_files_ = 256;
};

}  // namespace qv
