#include "mail/message_key.h"

#include "mail/gmime_support.h"

#include <QCryptographicHash>

namespace qv::mail {
namespace {

QByteArray hashed(char kind, QByteArrayView bytes) {
    return kind + QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

// The header without the empty line (and any line ends) at its end.
QByteArrayView trimmed_header(QByteArrayView header) {
    const qsizetype end = header_length(header);
    QByteArrayView head = end < 0 ? header : header.first(end);
    while (!head.isEmpty() && (head.back() == '\n' || head.back() == '\r')) head.chop(1);
    return head;
}

}  // namespace

qsizetype header_length(QByteArrayView bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype nl = bytes.indexOf('\n', at);
        if (nl < 0) return -1;
        const qsizetype line = nl - at;
        if (line == 0 || (line == 1 && bytes[at] == '\r')) return nl + 1;
        at = nl + 1;
    }
    return -1;
}

QByteArray message_key(QByteArrayView header, bool whole_header) {
    const QByteArrayView head = trimmed_header(header);
    ensure_gmime();
    QByteArray block = head.toByteArray() + "\r\n\r\n";
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(block.constData(), block.size()));
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    const char* id = message ? g_mime_message_get_message_id(message.get()) : nullptr;
    if (id && *id) return hashed('m', QByteArrayView(id));
    return whole_header ? hashed('h', head) : QByteArray();
}

}  // namespace qv::mail
