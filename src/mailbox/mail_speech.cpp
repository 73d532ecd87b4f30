#include "mailbox/mail_speech.h"

#include "mailbox/flex_grid.h"
#include "mailbox/mail_columns.h"
#include "mailbox/sender_entry.h"

#include <QDateTime>
#include <QStringList>

namespace qv {

namespace {

// Parts of one utterance: a pause between them for the ear, no empty part.
QString joined(const QStringList& parts) {
    QStringList kept;
    for (const QString& p : parts) {
        if (!p.isEmpty()) kept << p;
    }
    return kept.join(QStringLiteral("、"));
}

QString spoken_subject(const QString& subject) {
    return subject.trimmed().isEmpty() ? QStringLiteral("件名なし") : subject.trimmed();
}

QString attachment_word(const FlexGrid* grid, int row) {
    return grid->cells()->marked(row) ? QStringLiteral("添付あり") : QString();
}

}  // namespace

QString spoken_date(const QString& stored) {
    const QDateTime t = QDateTime::fromString(stored, QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    if (!t.isValid()) return stored.trimmed();
    return QStringLiteral("%1月%2日 %3時")
        .arg(t.date().month())
        .arg(t.date().day())
        .arg(t.time().hour());
}

QString spoken_sender(const QString& sender) {
    const SenderEntry entry = sender_entry(sender);
    const QString name = entry.name.trimmed();
    return name.isEmpty() ? entry.address.trimmed() : name;
}

QString spoken_mail_row(const FlexGrid* grid, int row) {
    const FlexGridModel* cells = grid->cells();
    return joined(
        {grid->cellEmphasis(row, kSubjectColumn) ? QStringLiteral("未読") : QStringLiteral("既読"),
         spoken_sender(cells->text(row, kSenderColumn)),
         spoken_subject(cells->text(row, kSubjectColumn)), attachment_word(grid, row),
         spoken_date(cells->text(row, kDateColumn))});
}

QString spoken_mail_cell(const FlexGrid* grid, int row, int column) {
    const FlexGridModel* cells = grid->cells();
    QString value;
    switch (column) {
        case kSenderColumn: {
            const SenderEntry entry = sender_entry(cells->text(row, kSenderColumn));
            value = joined({entry.name.trimmed(), entry.address.trimmed()});
            break;
        }
        case kSubjectColumn:
            value = joined(
                {spoken_subject(cells->text(row, kSubjectColumn)), attachment_word(grid, row)});
            break;
        case kDateColumn:
            value = spoken_date(cells->text(row, kDateColumn));
            break;
        default:
            value = grid->cellText(row, column);
            break;
    }
    return cells->text(0, column) + QLatin1Char(' ') + value;
}

QString spoken_folder_summary(const FlexGrid* grid, const QString& folder) {
    const int mails = qMax(grid->rowCount() - 1, 0);
    int unread = 0;
    for (int row = 1; row <= mails; ++row) {
        if (grid->cellEmphasis(row, kSubjectColumn)) ++unread;
    }
    return QStringLiteral("%1 %2通 未読%3通").arg(folder).arg(mails).arg(unread);
}

}  // namespace qv
