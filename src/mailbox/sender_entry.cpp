#include "mailbox/sender_entry.h"

namespace qv {

SenderEntry sender_entry(const QString& sender) {
    SenderEntry entry{QStringLiteral(" "), sender.trimmed()};
    const qsizetype lt = sender.indexOf(QLatin1Char('<'));
    if (lt < 0) return entry;
    const qsizetype gt = sender.indexOf(QLatin1Char('>'), lt + 1);
    if (gt < 0) return entry;
    entry.address = sender.mid(lt + 1, gt - lt - 1);
    entry.name = sender.left(lt);
    entry.name.remove(QLatin1Char('"'));
    return entry;
}

}  // namespace qv
