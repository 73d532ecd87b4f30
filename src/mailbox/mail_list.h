#pragma once

#include <QColor>
#include <QObject>
#include <QString>

namespace qv {

class Feedback;
class FlexGrid;
class MailStore;

// The mail list: the grid of the current folder's mail, newest first, one row per mail. Each row
// carries its mail's id; the subject of a mail with an attachment is shown after "♪　". Besides
// showing the mail it is the program's working copy of the read state: the unread read-out looks
// at the grid's emphasis, not at the database.
class MailList : public QObject {
    Q_OBJECT
  public:
    MailList(FlexGrid* grid, Feedback& out, MailStore& store, QObject* parent);

    // Lays out an empty grid with its header row.
    void init_mail_list();
    // Fills the grid with the mail of the current folder and says how many there are.
    void read_mail_from_db();
    // Opens another folder: the grid is laid out afresh and filled with its mail.
    void show_folder(const QString& folder);

    // The subjects of the unread mail, as the grid marks them.
    void speak_unread_mail_Click();
    // The subjects of every listed mail.
    void read_subject_Click();

    // "メール一覧へ移動": to the list, saying where the user is, how many mails and unread mails
    // the folder holds, and the current row.
    void take_focus();
    // What the current row is, said as a move (the header row and an empty folder say what to
    // do instead).
    void speak_current_row();

    // Focus and current-cell events of the grid.
    void gained();
    void lost();
    void cell_changed(int row, int column, int previousRow, int previousColumn);
    // The user's keys moved through the list: the row or cell landed on is said, never opened
    // or marked read; a move that met the edge says so.
    void row_stepped(int row, int previousRow, bool forward);
    void column_stepped(int column, int previousColumn, bool forward);

    const QString& current_folder() const { return current_folder_; }
    void set_current_folder(const QString& folder) { current_folder_ = folder; }
    int mail_count() const { return mail_count_; }

    // The entered cell's background: black text on yellow reads well for low vision.
    static QColor cell_highlight_color() { return QColor(255, 255, 0); }
    static QColor left_cell_color() { return QColor(255, 255, 255); }

  signals:
    // The list was filled afresh: a mail move begun on the old rows no longer applies.
    void refilled();

  private:
    FlexGrid* grid_;
    Feedback& out_;
    MailStore& store_;
    QString current_folder_;
    int list_row_ = 0;
    int mail_count_ = 0;
};

}  // namespace qv
