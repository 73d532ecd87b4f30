#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace qv::mail {

// Header values straight from the file (folded, possibly raw 8-bit) made into text. RFC 2047
// encoded words are decoded even where senders put them against the rules (inside quotes, in
// parameters, mid-word); adjacent words are joined before their bytes are decoded, because
// senders split multibyte characters and ISO-2022-JP escapes across them.
QString decode_header_text(QByteArrayView raw);

// The first mailbox of an address header as "Name <addr>", or just the address or name when
// only one of them is there.
QString decode_mailbox(QByteArrayView raw);

// A parameter of a structured header such as Content-Disposition ("filename") or Content-Type
// ("name", "charset"): RFC 2231 continuations and charsets, RFC 2047 words and raw 8-bit values
// all come out as text. Null when the parameter is absent.
QString header_parameter(QByteArrayView raw, QByteArrayView name);

// The value before the first ';' of a structured header, lower-cased ("text/plain",
// "attachment").
QByteArray header_main_value(QByteArrayView raw);

}  // namespace qv::mail
