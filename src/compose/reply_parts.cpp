#include "compose/reply_parts.h"

namespace qv {

namespace {

// The mail list writes it before the subject of a mail that has an attachment.
const QString kAttachmentMark = QStringLiteral("♪　");

}  // namespace

QString reply_address(const QString& sender) {
    const qsizetype lt = sender.indexOf(QLatin1Char('<'));
    // Looking for ">" only after "<" keeps a stray ">" in a display name ("a>b <x@y>") from
    // cutting the address short.
    const qsizetype gt = lt < 0 ? -1 : sender.indexOf(QLatin1Char('>'), lt + 1);
    if (lt >= 0 && gt > lt) return sender.mid(lt + 1, gt - lt - 1).trimmed();
    return sender.trimmed();
}

QString replied_subject(const QString& cell) {
    if (cell.startsWith(kAttachmentMark)) return cell.mid(kAttachmentMark.size());
    return cell;
}

}  // namespace qv
