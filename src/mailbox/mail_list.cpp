#include "mailbox/mail_list.h"

#include "core/app_state.h"
#include "core/context.h"
#include "core/feedback.h"
#include "core/widgets.h"
#include "mailbox/flex_grid.h"
#include "store/mail_store.h"

namespace qv {

namespace {

enum Column { kIdColumn = 0, kSenderColumn = 1, kSubjectColumn = 2, kDateColumn = 3 };
constexpr int kColumns = 4;
constexpr int kPreparedRows = 500;
constexpr double kColumnTwips[kColumns] = {500, 2500, 4500, 1880};

const QString kUnread = QStringLiteral("未読");
const QString kAttachmentMark = QStringLiteral("♪　");

}  // namespace

MailList::MailList(Context& ctx, QObject* parent)
    : QObject(parent), ctx_(ctx), grid_(ctx.w.MSFlexGrid1) {}

void MailList::init_mail_list() {
    grid_->setColumnCount(kColumns);
    grid_->setRowCount(kPreparedRows);
    for (int c = 0; c < kColumns; ++c) grid_->setColumnWidth(c, twips(kColumnTwips[c]));
    set_background(grid_, ctx_.state.normal_color);
    grid_->clearCells();
    grid_->setCellText(0, kIdColumn, QStringLiteral("ID"));
    grid_->setCellText(0, kSenderColumn, QStringLiteral("送信者"));
    grid_->setCellText(0, kSubjectColumn, QStringLiteral("件名"));
    grid_->setCellText(0, kDateColumn, QStringLiteral("受信日"));
    ctx_.state.list_row = 0;
    ctx_.state.mail_count = 0;
}

void MailList::read_mail_from_db() {
    AppState& s = ctx_.state;
    s.move_pending = false;
    ctx_.out.show_status(s.current_folder);
    std::vector<MailRow> mails = ctx_.store.mailsInFolder(s.current_folder);

    // A folder may hold any number of mails: the grid grows to fit them all.
    FlexGridModel* cells = grid_->cells();
    s.list_row = 0;
    grid_->holdUpdates();
    grid_->setRowCount(int(mails.size()) + 1);
    for (MailRow& mail : mails) {
        if (!mail.attach.isEmpty()) mail.subject.prepend(kAttachmentMark);
        const int row = ++s.list_row;
        const bool unread = mail.readflag == kUnread;
        for (int c = 0; c < kColumns; ++c) cells->setEmphasis(row, c, unread);
        cells->setText(row, kIdColumn, QString::number(mail.id));
        cells->setText(row, kSenderColumn, std::move(mail.mailfrom));
        cells->setText(row, kSubjectColumn, std::move(mail.subject));
        cells->setText(row, kDateColumn, std::move(mail.date));
    }
    grid_->releaseUpdates();
    mails = {};

    if (s.list_row > 0) {
        s.mail_count = s.list_row;
        grid_->setRowCount(s.mail_count + 1);
        grid_->setCurrentCell(1, kSenderColumn);
        ctx_.out.speak(QStringLiteral("メール数は") + QString::number(s.mail_count));
    } else {
        grid_->setRowCount(1);
        ctx_.out.speak(QStringLiteral("新着メールは有りません"));
    }
}

void MailList::speak_unread_mail_Click() {
    bool found = false;
    const int rows = grid_->rowCount();
    // The read-out walks the grid itself; only where it ends up is visible to the user.
    for (int row = 1; row < rows; ++row) {
        if (grid_->cellEmphasis(row, kSubjectColumn)) {
            ctx_.out.speak(grid_->cellText(row, kSubjectColumn));
            found = true;
        }
    }
    if (!found) {
        ctx_.out.speak(QStringLiteral("未読メールは有りません"));
        grid_->setCurrentCell(rows > 1 ? rows - 1 : qMax(grid_->currentRow(), 0), kSubjectColumn);
    } else {
        grid_->setCurrentCell(1, kSenderColumn);
    }
}

void MailList::read_subject_Click() {
    const int rows = grid_->rowCount();
    for (int row = 1; row < rows; ++row) ctx_.out.speak(grid_->cellText(row, kSubjectColumn));
    if (rows > 1) {
        grid_->setCurrentCell(1, kSenderColumn);
    } else {
        grid_->setCurrentCell(qMax(grid_->currentRow(), 0), kSubjectColumn);
    }
}

void MailList::gained() {
    // The mail-list commands show their own key guide; taking the focus leaves it as it is.
    focus_gain(ctx_.out, ctx_.state, grid_, QString(), 2);
    ctx_.out.show_status(ctx_.state.current_folder);
}

void MailList::lost() { focus_loss(ctx_.state, grid_); }

void MailList::cell_changed(int row, int column, int previousRow, int previousColumn) {
    if (previousRow >= 0 && previousColumn >= 0) {
        grid_->setCellBackground(previousRow, previousColumn, left_cell_color());
    }
    if (row >= 0 && column >= 0) grid_->setCellBackground(row, column, cell_highlight_color());
}

}  // namespace qv
