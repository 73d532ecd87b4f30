#include "mailbox/mail_list.h"

#include "core/control_events.h"
#include "core/feedback.h"
#include "core/twips.h"
#include "mailbox/flex_grid.h"
#include "mailbox/mail_columns.h"
#include "mailbox/mail_commands.h"
#include "mailbox/mail_speech.h"
#include "store/mail_store.h"

namespace qv {

namespace {

constexpr int kPreparedRows = 500;
constexpr double kColumnTwips[kMailColumns] = {500, 2500, 4500, 1880};

const QString kUnread = QStringLiteral("未読");

}  // namespace

MailList::MailList(FlexGrid* grid, Feedback& out, MailStore& store, QObject* parent)
    : QObject(parent), grid_(grid), out_(out), store_(store) {
    grid_->cells()->setKeyColumn(kIdColumn);
    grid_->cells()->setMark(kSubjectColumn, QStringLiteral("♪　"));
}

void MailList::init_mail_list() {
    grid_->setColumnCount(kMailColumns);
    grid_->setRowCount(kPreparedRows);
    for (int c = 0; c < kMailColumns; ++c) grid_->setColumnWidth(c, twips(kColumnTwips[c]));
    set_background(grid_, out_.focus().normal_color);
    grid_->clearCells();
    grid_->setCellText(0, kIdColumn, QStringLiteral("ID"));
    grid_->setCellText(0, kSenderColumn, QStringLiteral("送信者"));
    grid_->setCellText(0, kSubjectColumn, QStringLiteral("件名"));
    grid_->setCellText(0, kDateColumn, QStringLiteral("受信日"));
    list_row_ = 0;
    mail_count_ = 0;
}

void MailList::read_mail_from_db() {
    emit refilled();
    out_.show_status(current_folder_);
    std::vector<MailRow> mails = store_.mailsInFolder(current_folder_);

    // A folder may hold any number of mails: the grid grows to fit them all.
    FlexGridModel* cells = grid_->cells();
    list_row_ = 0;
    grid_->holdUpdates();
    grid_->setRowCount(int(mails.size()) + 1);
    for (MailRow& mail : mails) {
        const int row = ++list_row_;
        const bool unread = mail.readflag == kUnread;
        for (int c = 0; c < kMailColumns; ++c) cells->setEmphasis(row, c, unread);
        cells->setKey(row, mail.id);
        cells->setMarked(row, !mail.attach.isEmpty());
        cells->setText(row, kSenderColumn, std::move(mail.mailfrom));
        cells->setText(row, kSubjectColumn, std::move(mail.subject));
        cells->setText(row, kDateColumn, std::move(mail.date));
    }
    grid_->releaseUpdates();
    mails = {};

    if (list_row_ > 0) {
        mail_count_ = list_row_;
        grid_->setRowCount(mail_count_ + 1);
        grid_->setCurrentCell(1, kSenderColumn);
        out_.speak(QStringLiteral("メール数は") + QString::number(mail_count_));
    } else {
        grid_->setRowCount(1);
        out_.speak(QStringLiteral("新着メールは有りません"));
    }
}

void MailList::show_folder(const QString& folder) {
    current_folder_ = folder;
    init_mail_list();
    read_mail_from_db();
}

void MailList::speak_unread_mail_Click() {
    bool found = false;
    const int rows = grid_->rowCount();
    // The read-out walks the grid itself; only where it ends up is visible to the user.
    for (int row = 1; row < rows; ++row) {
        if (grid_->cellEmphasis(row, kSubjectColumn)) {
            out_.speak(grid_->cellText(row, kSubjectColumn));
            found = true;
        }
    }
    if (!found) {
        out_.speak(QStringLiteral("未読メールは有りません"));
        grid_->setCurrentCell(rows > 1 ? rows - 1 : qMax(grid_->currentRow(), 0), kSubjectColumn);
    } else {
        grid_->setCurrentCell(1, kSenderColumn);
    }
}

void MailList::read_subject_Click() {
    const int rows = grid_->rowCount();
    for (int row = 1; row < rows; ++row) out_.speak(grid_->cellText(row, kSubjectColumn));
    if (rows > 1) {
        grid_->setCurrentCell(1, kSenderColumn);
    } else {
        grid_->setCurrentCell(qMax(grid_->currentRow(), 0), kSubjectColumn);
    }
}

void MailList::take_focus() {
    note_user_moved_focus(grid_->window());
    grid_->setFocus(Qt::OtherFocusReason);
    // A count is an outcome: the next arrow key cuts the row, not the count.
    out_.speak(spoken_folder_summary(grid_, current_folder_));
    if (grid_->rowCount() > 1) speak_current_row();
}

void MailList::speak_current_row() {
    const int row = grid_->currentRow();
    if (grid_->rowCount() <= 1) {
        out_.speak_move(MailCommands::folder_is_empty());
    } else if (row < 1) {
        out_.speak_move(header_row_hint());
    } else {
        out_.speak_move(spoken_mail_row(grid_, row));
    }
}

void MailList::row_stepped(int row, int previousRow, bool forward) {
    if (grid_->rowCount() > 1 && row == previousRow) {
        out_.speak_move(forward ? last_item_reached() : first_item_reached());
        return;
    }
    speak_current_row();
}

void MailList::column_stepped(int column, int previousColumn, bool forward) {
    const int row = grid_->currentRow();
    if (grid_->rowCount() <= 1 || row < 1) {
        speak_current_row();
    } else if (column == previousColumn) {
        out_.speak_move(forward ? QStringLiteral("右端です") : QStringLiteral("左端です"));
    } else {
        out_.speak_move(spoken_mail_cell(grid_, row, column));
    }
}

void MailList::gained() {
    // The mail-list commands show their own key guide; taking the focus leaves it as it is.
    focus_gain(out_, grid_, QString(), 2);
    out_.show_status(current_folder_);
}

void MailList::lost() { focus_loss(out_, grid_); }

void MailList::cell_changed(int row, int column, int previousRow, int previousColumn) {
    if (previousRow >= 0 && previousColumn >= 0) {
        grid_->setCellBackground(previousRow, previousColumn, left_cell_color());
    }
    if (row >= 0 && column >= 0) grid_->setCellBackground(row, column, cell_highlight_color());
}

}  // namespace qv
