#pragma once

#include <QColor>
#include <QObject>

namespace qv {

struct Context;
class FlexGrid;

// The mail list: the grid of the current folder's mail, newest first, one row per mail. Besides
// showing the mail it is the program's working copy of the read state: the unread read-out looks
// at the grid's emphasis, not at the database.
class MailList : public QObject {
    Q_OBJECT
  public:
    MailList(Context& ctx, QObject* parent);

    // Lays out an empty grid with its header row.
    void init_mail_list();
    // Fills the grid with the mail of the current folder and says how many there are.
    void read_mail_from_db();

    // The subjects of the unread mail, as the grid marks them.
    void speak_unread_mail_Click();
    // The subjects of every listed mail.
    void read_subject_Click();

    // Focus and current-cell events of the grid.
    void gained();
    void lost();
    void cell_changed(int row, int column, int previousRow, int previousColumn);

    // The entered cell's background: black text on yellow reads well for low vision.
    static QColor cell_highlight_color() { return QColor(255, 255, 0); }
    static QColor left_cell_color() { return QColor(255, 255, 255); }

  private:
    Context& ctx_;
    FlexGrid* grid_;
};

}  // namespace qv
