#pragma once

#include <QString>

namespace qv {

// The address a reply goes to, from a sender as stored: the text between the first "<" and the
// first ">" after it, or, without such a pair, the whole sender. Blanks around the address are
// dropped (a stored sender begins with one).
QString reply_address(const QString& sender);

// The subject of a reply: "Re: " before the replied-to subject, even when it has one already.
inline QString reply_subject(const QString& subject) { return QStringLiteral("Re: ") + subject; }

}  // namespace qv
