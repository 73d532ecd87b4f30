#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qv {

// "An array of texts, or not": RcvMail and ReadMail answer an array on success and nothing on
// failure.
using MailArray = std::optional<QStringList>;

// The mail component: all POP3 and SMTP work, and splitting a saved mail into its parts.
//
//  RcvMail(server, user, password, command, dir)
//    "STAT"     -> { "<count> <size>" }            ("0 0" when nothing waits)
//    "SAVEALLD" -> { saved file name, ... }        every waiting mail saved in dir, then deleted
//                                                  from the server; names are relative to dir
//    "LIST"     -> { "<n> <size>", ... }
//  ReadMail(file, "subject:from:date:body", dir)
//    -> { "subject: <subject>", "From: <sender>", "<date>", "", "Body: <body>"[, "File: <path>"] }
//       file is relative to dir (or absolute); the first attachment is saved in dir.
//  SendMail(smtp, to, from, subject, body, attachment)
//    -> "" on success, otherwise a Japanese text saying what went wrong.
//  Sleep(seconds): a pause that keeps speech going.
//
// After a failure, lastError() keeps the reason in Japanese for the status line.
class MailComponent {
  public:
    virtual ~MailComponent() = default;

    virtual MailArray RcvMail(const QString& server, const QString& user, const QString& password,
                              const QString& command, const QString& dir) = 0;
    virtual MailArray ReadMail(const QString& file, const QString& fields, const QString& dir) = 0;
    virtual QString SendMail(const QString& smtp, const QString& to, const QString& from,
                             const QString& subject, const QString& body,
                             const QString& attachment) = 0;
    virtual void Sleep(int seconds) = 0;

    // The reason of the last failure, in Japanese; empty after a success.
    virtual QString lastError() const = 0;

    // SendMail has no user or password: the sender sets the account's login here first, for
    // servers that want SMTP AUTH. A component that never logs in ignores it.
    virtual void setSmtpLogin(const QString& /*user*/, const QString& /*password*/) {}

    // Progress of a long SAVEALLD: called with (messages saved, messages waiting), possibly from
    // another thread.
    void setProgress(std::function<void(int done, int total)> progress) {
        progress_ = std::move(progress);
    }

  protected:
    std::function<void(int, int)> progress_;
};

}  // namespace qv
