#pragma once

#include <QObject>
#include <QString>

namespace qv {

struct Context;

// The folder list: opens a folder in the mail list (ENTER) and finishes moving a mail that the
// mail list marked (INS).
class FolderList : public QObject {
    Q_OBJECT
  public:
    FolderList(Context& ctx, QObject* parent);

    void read_folders_from_db();

    void gained();
    void lost();
    void key(int code);

    // Menu commands: to the folder list, and back to the mail list.
    void chose_folder_Click();
    void display_mail_list_Click();

    static QString key_guide() { return QStringLiteral("[矢印:選択 ENTER:開く INS:メール移動 ]"); }

  private:
    void open_folder();
    void finish_move();
    void tell(const QString& message);

    Context& ctx_;
};

}  // namespace qv
