#pragma once

#include <QString>

namespace qv {

class FlexGrid;

// What the mail list says as the user moves through it: the most important part first, in
// words a listener takes in at once.

// A stored date ("2026/12/03 10:05:00") said short: "12月3日 10時". A date in any other form is
// said as it is.
QString spoken_date(const QString& stored);
// The sender's name; the address when the sender has no name.
QString spoken_sender(const QString& sender);
// One mail row: "未読" or "既読", the sender, the subject (without the list's mark), "添付あり"
// for a mail with an attachment, and the date.
QString spoken_mail_row(const FlexGrid* grid, int row);
// One cell, named by its column: the sender in full, the subject, or the date.
QString spoken_mail_cell(const FlexGrid* grid, int row, int column);
// Where the user is: the folder, how many mails it holds and how many of them are unread, as
// the grid shows them.
QString spoken_folder_summary(const FlexGrid* grid, const QString& folder);

// The edges of a list, and the header row of the mail list.
inline QString first_item_reached() { return QStringLiteral("先頭です"); }
inline QString last_item_reached() { return QStringLiteral("最後です"); }
inline QString header_row_hint() {
    return QStringLiteral("見出し行です。下矢印キーでメールに移ります");
}

}  // namespace qv
