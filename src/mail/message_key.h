#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace qv::mail {

// What tells one message apart from the others of a mailbox without its UID, for when the server
// has numbered its mailbox anew: a hash of its Message-ID or, for a message without one, of its
// whole header. `header` is the header of the message (whatever follows its end is ignored), or
// just its Message-ID field as a server hands it out; an empty result means that there is no
// Message-ID in it.
QByteArray message_key(QByteArrayView header, bool whole_header = true);

// The length of the header at the start of a message's bytes, up to and including the empty line
// that ends it; -1 when that line is not among the bytes yet.
qsizetype header_length(QByteArrayView bytes);

}  // namespace qv::mail
