#pragma once

#include <QObject>
#include <QString>

class QListWidget;

namespace qv {

class Feedback;
class MailStore;

// The folder list: opens a folder in the mail list (ENTER) and finishes moving a mail that the
// mail list handed over (INS).
class FolderList : public QObject {
    Q_OBJECT
  public:
    FolderList(QListWidget* List1, Feedback& out, MailStore& store, QObject* parent);

    void read_folders_from_db();

    void gained();
    void lost();
    void key(int code);

    // Menu command: to the folder list.
    void chose_folder_Click();
    // The mail list began moving this mail: the folder list takes the focus to finish it.
    void begin_move(int mail_id);
    // The mail list was filled afresh: a move begun before no longer applies.
    void forget_move() { move_pending_ = false; }
    bool move_pending() const { return move_pending_; }
    int move_mail_id() const { return move_mail_id_; }

    static QString key_guide() { return QStringLiteral("[矢印:選択 ENTER:開く INS:メール移動 ]"); }

  signals:
    // ENTER on a folder: the mail list is to show it.
    void folderOpened(const QString& folder);

  private:
    void open_folder();
    void finish_move();

    QListWidget* List1_;
    Feedback& out_;
    MailStore& store_;
    bool move_pending_ = false;
    int move_mail_id_ = 0;
};

}  // namespace qv
