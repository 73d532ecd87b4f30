#include "mail/outgoing_message.h"

#include "mail/gmime_support.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <utility>

namespace qv::mail {
namespace {

// Longest line a 7bit body may carry (RFC 5322 allows 998).
constexpr qsizetype kMax7bitLine = 900;

bool usable_address(const QString& a) {
    const qsizetype at = a.indexOf(QLatin1Char('@'));
    if (at <= 0 || at != a.lastIndexOf(QLatin1Char('@')) || at == a.size() - 1) return false;
    for (QChar c : a) {
        if (c.isSpace() || c.unicode() < 0x21 || c == QLatin1Char('<') || c == QLatin1Char('>') ||
            c == QLatin1Char(',') || c == QLatin1Char(';') || c == QLatin1Char('"')) {
            return false;
        }
    }
    return true;
}

QString unquoted_name(QString name) {
    name = name.trimmed();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))) {
        name = name.mid(1, name.size() - 2);
        name.replace(QLatin1String("\\\""), QLatin1String("\""));
        name.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    }
    return name.trimmed();
}

// Lines end in CRLF, the way text goes into a MIME body.
QByteArray crlf_text(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t.toUtf8();
}

bool fits_7bit(const QByteArray& data) {
    qsizetype line = 0;
    for (char c : data) {
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') return false;
        line = c == '\n' ? 0 : line + 1;
        if (line > kMax7bitLine) return false;
    }
    return true;
}

GRef<GMimeDataWrapper> wrap(const QByteArray& data) {
    GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(data.constData(), data.size()));
    return GRef<GMimeDataWrapper>(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
}

QByteArray serialized(GMimeMessage* message) {
    GMimeFormatOptions* format = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_DOS);
    GRef<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(message), format, out.get());
    g_mime_format_options_free(format);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data),
                      static_cast<qsizetype>(bytes->len));
}

}  // namespace

std::vector<MailAddress> parse_addresses(const QString& text) {
    std::vector<MailAddress> out;
    QStringList items;
    QString current;
    bool in_quote = false;
    bool in_angle = false;
    for (QChar c : text) {
        if (c == QLatin1Char('"')) in_quote = !in_quote;
        if (!in_quote && c == QLatin1Char('<')) in_angle = true;
        if (!in_quote && c == QLatin1Char('>')) in_angle = false;
        if (!in_quote && !in_angle && (c == QLatin1Char(',') || c == QLatin1Char(';'))) {
            items.append(current);
            current.clear();
            continue;
        }
        current += c;
    }
    items.append(current);
    for (const QString& raw : items) {
        const QString item = raw.trimmed();
        if (item.isEmpty()) continue;
        MailAddress a;
        const qsizetype open = item.lastIndexOf(QLatin1Char('<'));
        const qsizetype close = item.indexOf(QLatin1Char('>'), open);
        if (open >= 0 && close > open) {
            a.name = unquoted_name(item.left(open));
            a.address = item.mid(open + 1, close - open - 1).trimmed();
        } else {
            a.address = item;
        }
        if (usable_address(a.address)) out.push_back(std::move(a));
    }
    return out;
}

QByteArray content_type_for(const QString& file_name) {
    static const std::pair<const char*, const char*> known[] = {
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"m4a", "audio/mp4"},
        {"ogg", "audio/ogg"},
        {"txt", "text/plain"},
        {"csv", "text/csv"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"pdf", "application/pdf"},
        {"zip", "application/zip"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"doc", "application/msword"},
        {"xls", "application/vnd.ms-excel"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    };
    const QString suffix = QFileInfo(file_name).suffix().toLower();
    for (const auto& [ext, type] : known) {
        if (suffix == QLatin1String(ext)) return type;
    }
    if (!suffix.isEmpty()) {
        const QMimeType type =
            QMimeDatabase().mimeTypeForFile(file_name, QMimeDatabase::MatchExtension);
        if (type.isValid() && !type.isDefault()) return type.name().toLatin1();
    }
    return "application/octet-stream";
}

std::optional<BuiltMessage> build_message(const OutgoingMail& mail, QString* error) {
    ensure_gmime();
    const std::vector<MailAddress> from = parse_addresses(mail.from);
    if (from.empty()) {
        *error = QStringLiteral("差出人のメールアドレス「%1」が正しくありません").arg(mail.from);
        return std::nullopt;
    }
    const std::vector<MailAddress> to = parse_addresses(mail.to);
    if (to.empty()) {
        *error = QStringLiteral("宛先のメールアドレス「%1」が正しくありません").arg(mail.to);
        return std::nullopt;
    }
    QByteArray attachment;
    if (!mail.attachment.isEmpty()) {
        QFile file(mail.attachment);
        if (!QFileInfo(mail.attachment).isFile()) {
            *error = QStringLiteral("添付ファイル「%1」が見つかりません").arg(mail.attachment);
            return std::nullopt;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("添付ファイル「%1」を読めません").arg(mail.attachment);
            return std::nullopt;
        }
        attachment = file.readAll();
    }

    GRef<GMimeMessage> message(g_mime_message_new(TRUE));
    const MailAddress& sender = from.front();
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM,
                               sender.name.isEmpty() ? nullptr : sender.name.toUtf8().constData(),
                               sender.address.toUtf8().constData());
    BuiltMessage built;
    built.sender = sender.address.toUtf8();
    for (const MailAddress& a : to) {
        g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO,
                                   a.name.isEmpty() ? nullptr : a.name.toUtf8().constData(),
                                   a.address.toUtf8().constData());
        built.recipients.push_back(a.address.toUtf8());
    }
    g_mime_message_set_subject(message.get(), mail.subject.toUtf8().constData(), "utf-8");
    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(message.get(), now);
    g_date_time_unref(now);
    const QByteArray domain = built.sender.mid(built.sender.indexOf('@') + 1);
    char* id = g_mime_utils_generate_message_id(domain.constData());
    g_mime_message_set_message_id(message.get(), id);
    g_free(id);
    g_mime_object_set_header(GMIME_OBJECT(message.get()), "X-Mailer", "Quorvel Mailer", nullptr);

    const QByteArray body = crlf_text(mail.body);
    GRef<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
    g_mime_part_set_content(GMIME_PART(text.get()), wrap(body).get());
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(text.get()), "charset", "utf-8");
    g_mime_part_set_content_encoding(GMIME_PART(text.get()), fits_7bit(body)
                                                                 ? GMIME_CONTENT_ENCODING_7BIT
                                                                 : GMIME_CONTENT_ENCODING_BASE64);
    if (mail.attachment.isEmpty()) {
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(text.get()));
    } else {
        const QByteArray type = content_type_for(mail.attachment);
        const qsizetype slash = type.indexOf('/');
        GRef<GMimePart> part(g_mime_part_new_with_type(type.left(slash).constData(),
                                                       type.mid(slash + 1).constData()));
        g_mime_part_set_content(part.get(), wrap(attachment).get());
        g_mime_object_set_disposition(GMIME_OBJECT(part.get()), "attachment");
        g_mime_part_set_filename(part.get(),
                                 QFileInfo(mail.attachment).fileName().toUtf8().constData());
        g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
        GRef<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(text.get()));
        g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
        g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
    }
    built.data = serialized(message.get());
    return built;
}

}  // namespace qv::mail
