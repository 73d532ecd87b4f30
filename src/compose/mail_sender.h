#pragma once

#include <QObject>
#include <QString>

class QLineEdit;
class QPlainTextEdit;

namespace qv {

struct AccountTable;
class Feedback;
class MailComponent;
struct Paths;
class PlainLogin;
class VoiceRecorder;
class Waiter;

// Sends the mail held in the compose fields through the current account, with the pending
// voice recording, and says how it went.
class MailSender : public QObject {
    Q_OBJECT
  public:
    MailSender(QLineEdit* mailto, QLineEdit* subject, QPlainTextEdit* body,
               const AccountTable& accounts, const Paths& paths, VoiceRecorder& recorder,
               MailComponent& component, Feedback& out, Waiter& waiter, QObject* parent);

    // ESC in the body, and the second half of "送受信". An empty recipient sends nothing and
    // says nothing. A mail that went out is announced and sent() lets the fields empty
    // themselves; a mail that did not go out stays in the fields, with its recording, and the
    // user hears why. Keys pressed while the window waited for the send are dropped (and the
    // user is told): a second ESC must never send the same mail twice.
    void send_mail();

    static QString voice_note() { return QStringLiteral("音声添付ファイル付きで"); }
    // In front of the message when the recording to attach is no longer there.
    static QString missing_voice_note() {
        return QStringLiteral("録音ファイルが見つからないため音声を添付せずに");
    }

    // Who asks whether the account may log in in the clear where its server offers no
    // STARTTLS; without it such a send fails with the component's reason.
    void set_plain_login(PlainLogin* plain_login) { plain_login_ = plain_login; }

  signals:
    // The mail in the fields went out.
    void sent();

  private:
    QLineEdit* mailto_;
    QLineEdit* subject_;
    QPlainTextEdit* body_;
    const AccountTable& accounts_;
    const Paths& paths_;
    VoiceRecorder& recorder_;
    MailComponent& component_;
    Feedback& out_;
    Waiter& waiter_;
    PlainLogin* plain_login_ = nullptr;
};

}  // namespace qv
