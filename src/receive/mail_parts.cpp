#include "receive/mail_parts.h"

namespace qv {

namespace {

// Position counted from 1, 0 when absent, as the parsing rules count.
qsizetype position(const QString& text, const QString& what) { return text.indexOf(what) + 1; }

// The text from position `from` (counted from 1) to its end.
QString from_position(const QString& text, qsizetype from) {
    return from <= 1 ? text : text.mid(from - 1);
}

QString element(const QStringList& parts, int index) {
    return index < parts.size() ? parts.at(index) : QString();
}

}  // namespace

ReceivedMail split_read_mail(const QStringList& parts) {
    ReceivedMail m;

    const QString subject_line = element(parts, 0);
    m.subject = from_position(subject_line, position(subject_line, QStringLiteral("subject")) + 9);

    const QString sender_line = element(parts, 1);
    const qsizetype from = position(sender_line, QStringLiteral("From:"));
    m.sender = from > 0 ? from_position(sender_line, from + 5) : sender_line;

    m.date = element(parts, 2);

    const QString body_line = element(parts, 4);
    const qsizetype body = position(body_line, QStringLiteral("Body:"));
    m.body = body > 0 ? from_position(body_line, body + 5) : body_line;
    m.body.remove(QLatin1Char('_'));
    m.body.remove(QLatin1Char('-'));

    m.attach = element(parts, 5);
    return m;
}

QString body_for_store(QString body) {
    body.remove(QLatin1Char('"'));
    body.remove(QLatin1Char('\''));
    return body;
}

QString attachment_path(const QString& attach) {
    return from_position(attach, position(attach, QStringLiteral("File: ")) + 6);
}

bool is_saved_mail_name(const QString& name) {
    // Attachment names are never hidden (the component strips leading dots), and the component
    // names every saved mail "<date>-<time>-<sequence>.eml".
    return name.endsWith(QLatin1String(".eml")) && !name.startsWith(QLatin1Char('.')) &&
           !name.contains(QLatin1Char('/'));
}

}  // namespace qv
