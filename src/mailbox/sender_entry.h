#pragma once

#include <QString>

namespace qv {

// The address book row made from a mail's sender.
struct SenderEntry {
    QString name;
    QString address;
};

// `Name <address>`: the name is everything before "<" with its blanks kept and its double quotes
// dropped, the address everything between "<" and the first ">" after it. A sender without such
// a pair (no brackets, or only a ">" ahead of the "<") is an address on its own: the name is one
// blank and the address the whole sender without its outer blanks.
SenderEntry sender_entry(const QString& sender);

}  // namespace qv
