#pragma once

#include <QObject>
#include <QString>

namespace qv {

struct Context;
class FlexGrid;

// The keys of the mail list, acting on the mail of the current row: ENTER reads it, DEL deletes
// it, INS puts its sender into the address book, ESC answers it and SPACE starts moving it to
// another folder.
class MailCommands : public QObject {
    Q_OBJECT
  public:
    MailCommands(Context& ctx, QObject* parent);

    // Every key pressed in the list, arrows included.
    void mail_list_key(int code);

    void read_mail();        // ENTER
    void delete_mail();      // DEL
    void register_sender();  // INS, and the menu's "register the sender"
    void reply();            // ESC
    void start_move();       // SPACE

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

  private:
    // The row and id of the mail on the current row. When the header row (or nothing) is
    // current, the user is told how to pick a mail and false comes back.
    bool current_mail(int* row, int* id);
    // Says and shows a message that is not a result (a refusal, a failure).
    void tell(const QString& message);

    Context& ctx_;
    FlexGrid* grid_;
};

}  // namespace qv
