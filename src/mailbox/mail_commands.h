#pragma once

#include <QObject>
#include <QString>

class QTextEdit;

namespace qv {

class AudioPlayer;
class Feedback;
class FlexGrid;
class MailStore;
class Pauser;

// The keys of the mail list, acting on the mail of the current row: ENTER reads it, DEL deletes
// it, INS puts its sender into the address book, ESC answers it and SPACE starts moving it to
// another folder.
class MailCommands : public QObject {
    Q_OBJECT
  public:
    MailCommands(FlexGrid* grid, QTextEdit* bodytext, Feedback& out, MailStore& store,
                 Pauser& pauser, AudioPlayer& player, QObject* parent);

    // Every key pressed in the list, arrows included.
    void mail_list_key(int code);

    void read_mail();        // ENTER
    void delete_mail();      // DEL
    void register_sender();  // INS, and the menu's "register the sender"
    void reply();            // ESC
    void start_move();       // SPACE
    // The menu's "reply to the sender" (Ctrl+R), from wherever the focus is.
    void msg_replay_Click();

    static QString key_guide() {
        return QStringLiteral(
            "[矢印:選択 ENTER:読む INS:送信者をアドレス帳へ登録 DEL:削除 ESC:返信 SPACE:移動");
    }
    static QString no_mail_selected() {
        return QStringLiteral("メールが選択されていません。下矢印キーでメールを選んでください");
    }
    static QString folder_is_empty() {
        return QStringLiteral("このフォルダーにはメールがありません");
    }

  signals:
    // A reply to this mail: its sender and subject as stored (without the list's marks).
    void replyRequested(const QString& sender, const QString& subject);
    // A sender went into the address book.
    void addressAdded();
    // SPACE on a mail: it waits for the folder to move it to.
    void moveRequested(int id);

  private:
    // The attachment of the mail being read: a voice message is played, anything else is only
    // named.
    void attachment(const QString& path);
    // The row and id of the mail on the current row. When the header row (or nothing) is
    // current, the user is told how to pick a mail and false comes back.
    bool current_mail(int* row, int* id);
    void emit_reply(int row);

    FlexGrid* grid_;
    QTextEdit* bodytext_;
    Feedback& out_;
    MailStore& store_;
    Pauser& pauser_;
    AudioPlayer& player_;
};

}  // namespace qv
