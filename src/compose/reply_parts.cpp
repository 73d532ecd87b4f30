#include "compose/reply_parts.h"

namespace qv {

QString reply_address(const QString& sender) {
    const qsizetype lt = sender.indexOf(QLatin1Char('<'));
    // Looking for ">" only after "<" keeps a stray ">" in a display name ("a>b <x@y>") from
    // cutting the address short.
    const qsizetype gt = lt < 0 ? -1 : sender.indexOf(QLatin1Char('>'), lt + 1);
    if (lt >= 0 && gt > lt) return sender.mid(lt + 1, gt - lt - 1).trimmed();
    return sender.trimmed();
}

}  // namespace qv
