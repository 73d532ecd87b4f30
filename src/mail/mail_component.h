#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace qv {

// "An array of texts, or not": RcvMail answers an array on success and nothing on failure.
using MailArray = std::optional<QStringList>;

// A saved mail as ReadMail reads it.
struct ParsedMail {
    QString subject;          // decoded; "(件名なし)" when the mail has no usable header
    QString sender;           // "Name <addr>" as decoded, or whichever of the two there is
    QString date;             // the Date header as written
    QString body;             // decoded text, lines ending in "\n"; HTML mail as plain text
    QString attachment;       // absolute path of the saved first attachment, or empty
    QString attachment_type;  // its MIME type ("audio/mpeg"), empty without one
    bool headerless = false;  // no usable header at all: the whole file is the body
};

// What kind of failure the last RcvMail or SendMail was, for a caller that answers some kinds
// itself.
enum class MailFailure {
    None,        // it succeeded
    NoStartTls,  // the server offers no STARTTLS, so nothing was sent (no login, no mail)
    Other
};

// The subject of a mail that has no header to take one from.
inline QString no_subject() { return QStringLiteral("(件名なし)"); }

// The folder, inside the mail directory, that holds the attachments of the received file
// `file_name`: one folder per received file, so that no attachment can pose as a received mail
// or meet another mail's attachment.
QString attachment_dir(const QString& mail_dir, const QString& file_name);

// Takes a batch of received mail files (names relative to the mail directory) and stores them;
// true when every one of them is stored.
using StoreBatch = std::function<bool(const QStringList& names)>;

// The mail component: all POP3, IMAP and SMTP work, and reading a saved mail.
//
//  RcvMail(server, user, password, command, dir)   (server: POP3, or IMAP for imap(s)://)
//    "STAT"     -> { "<count> <size>",             the mail not received yet ("0 0": none),
//                    "<unstored> <stored>" }       and what a stopped receive left: mails saved
//                                                  but not stored, and mails stored but still on
//                                                  the server (a SAVEALLD deletes them)
//    "SAVEALLD" -> { saved file name, ... }        every mail not received yet saved in dir, and
//                                                  once stored, deleted from the server (with
//                                                  any stored earlier); names relative to dir
//    "SAVEALL"  -> { saved file name, ... }        the same, leaving every mail on the server
//    "LIST"     -> { "<n> <size>", ... }           (IMAP: nothing; it only logs in)
//  ReadMail(file, dir)
//    -> the mail, read; file is relative to dir (or absolute). The first attachment is saved in
//       attachment_dir(dir, file). A file that is not readable at all (missing, empty, not a
//       file) gives nothing; anything else gives a mail, however broken.
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
    virtual std::optional<ParsedMail> ReadMail(const QString& file, const QString& dir) = 0;
    virtual QString SendMail(const QString& smtp, const QString& to, const QString& from,
                             const QString& subject, const QString& body,
                             const QString& attachment) = 0;
    virtual void Sleep(int seconds) = 0;

    // The reason of the last failure, in Japanese; empty after a success.
    virtual QString lastError() const = 0;

    // SendMail has no user or password: the sender sets the account's login here first, for
    // servers that want SMTP AUTH. A component that never logs in ignores it.
    virtual void setSmtpLogin(const QString& /*user*/, const QString& /*password*/) {}

    // Whether a server that must switch to TLS with STARTTLS (pop3://, imap://, smtp://, a
    // host:port) but does not offer it may be logged in to in the clear after all: the user's
    // answer for the account. Off by default, and such a call then fails with
    // lastFailure() == MailFailure::NoStartTls before any password goes out. It stays as set
    // for every later call.
    void setPlainLoginAllowed(bool allowed) { plain_login_allowed_ = allowed; }
    bool plainLoginAllowed() const { return plain_login_allowed_; }
    MailFailure lastFailure() const { return failure_; }

    // Progress of a long SAVEALLD: called with (messages saved, messages waiting), possibly from
    // another thread.
    void setProgress(std::function<void(int done, int total)> progress) {
        progress_ = std::move(progress);
    }

    // Where SAVEALL and SAVEALLD hand each batch of saved files, as soon as they are safely on
    // disk and before any of them is deleted on the server; called on a thread other than the
    // caller's while the next batch arrives, one batch at a time, and waited for. A batch it
    // does not store stops the receive, with nothing more deleted. Without one, a batch counts
    // as stored once its files are saved (the caller takes the names returned).
    void setBatchSink(StoreBatch sink) { sink_ = std::move(sink); }

  protected:
    std::function<void(int, int)> progress_;
    StoreBatch sink_;
    bool plain_login_allowed_ = false;
    MailFailure failure_ = MailFailure::None;
};

}  // namespace qv
