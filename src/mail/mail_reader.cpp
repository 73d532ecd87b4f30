#include "mail/mail_reader.h"

#include "mail/charset_decoder.h"
#include "mail/gmime_support.h"
#include "mail/header_decoder.h"
#include "mail/html_text.h"
#include "mail/local_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace qv::mail {
namespace {

// Deeper nesting than this is an attack, not a mail.
constexpr int kMaxDepth = 32;

GMimeParserOptions* parser_options() {
    static GMimeParserOptions* options = [] {
        GMimeParserOptions* o = g_mime_parser_options_new();
        g_mime_parser_options_set_rfc2047_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_address_compliance_mode(o, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_allow_addresses_without_domain(o, TRUE);
        return o;
    }();
    return options;
}

// GMime's time to parse one header grows with the square of its length. Real headers are a few
// hundred bytes; an endless one (junk, or an attack) is cut to these lengths before GMime reads it.
constexpr qsizetype kMaxHeaderLine = 16 * 1024;
constexpr qsizetype kMaxHeaderField = 64 * 1024;

// The top-level header block of the mail with every line and field cut to the limits above,
// and the offset of the body; nullopt when nothing needed cutting (the usual case).
std::optional<std::pair<QByteArray, qint64>> bounded_header_block(QByteArrayView bytes) {
    QByteArray block;
    bool cut = false;
    bool line_start = true;
    qsizetype line = 0;          // bytes of the current line
    qsizetype line_content = 0;  // the same without CR
    qsizetype field = 0;         // bytes of the current field, continuation lines included
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            block.append(c);
            if (line_content == 0) {  // the blank line: the body follows
                if (!cut) return std::nullopt;
                return std::make_pair(block, i + 1);
            }
            line = line_content = 0;
            line_start = true;
            continue;
        }
        if (line_start && c != ' ' && c != '\t') field = 0;
        line_start = false;
        ++line;
        ++field;
        if (c != '\r') ++line_content;
        if (line > kMaxHeaderLine || field > kMaxHeaderField) {
            cut = true;
            continue;
        }
        block.append(c);
    }
    if (!cut) return std::nullopt;
    return std::make_pair(block, bytes.size());  // no body at all
}

// What GMime is to parse: the mapped file itself, or its bounded header block followed by the
// body.
GRef<GMimeStream> bounded_stream(QByteArrayView bytes, GMimeStream* file) {
    const auto bounded = bounded_header_block(bytes);
    if (!bounded) {
        g_object_ref(file);
        return GRef<GMimeStream>(file);
    }
    GRef<GMimeStream> cat(g_mime_stream_cat_new());
    GRef<GMimeStream> head(
        g_mime_stream_mem_new_with_buffer(bounded->first.constData(), bounded->first.size()));
    GRef<GMimeStream> body(g_mime_stream_substream(file, bounded->second, -1));
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat.get()), head.get());
    g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat.get()), body.get());
    return cat;
}

// Whether a header field is one that mail carries. GMime takes any "word: text" line at the top
// of a file for a header; a text file that begins with "Note: ..." has none of these.
bool mail_header_name(QByteArrayView name) {
    static const char* const names[] = {"from",
                                        "sender",
                                        "reply-to",
                                        "to",
                                        "cc",
                                        "bcc",
                                        "subject",
                                        "date",
                                        "message-id",
                                        "in-reply-to",
                                        "references",
                                        "received",
                                        "return-path",
                                        "delivered-to",
                                        "mime-version",
                                        "comments",
                                        "keywords",
                                        "organization",
                                        "user-agent",
                                        "precedence",
                                        "errors-to",
                                        "importance",
                                        "priority",
                                        "thread-topic",
                                        "thread-index",
                                        "dkim-signature",
                                        "authentication-results"};
    static const char* const prefixes[] = {"x-", "content-", "resent-", "list-", "arc-"};
    const QByteArray lower = name.toByteArray().toLower();
    for (const char* n : names) {
        if (lower == n) return true;
    }
    for (const char* p : prefixes) {
        if (lower.startsWith(p)) return true;
    }
    return false;
}

bool has_mail_header(GMimeObject* object) {
    GMimeHeaderList* headers = object ? g_mime_object_get_header_list(object) : nullptr;
    const int count = headers ? g_mime_header_list_get_count(headers) : 0;
    for (int i = 0; i < count; ++i) {
        const char* name = g_mime_header_get_name(g_mime_header_list_get_header_at(headers, i));
        if (name && mail_header_name(name)) return true;
    }
    return false;
}

QByteArray raw_header(GMimeObject* object, const char* name) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    return raw ? QByteArray(raw) : QByteArray();
}

struct PartInfo {
    GMimeObject* object = nullptr;
    QByteArray type;  // "text/plain"
    QByteArray content_type_raw;
    QString file_name;
};

struct Found {
    PartInfo plain;
    PartInfo html;
    PartInfo attachment;
};

void walk(GMimeObject* object, bool in_related, int depth, Found& found) {
    if (!object || depth > kMaxDepth) return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const bool related = in_related || header_main_value(raw_header(object, "Content-Type")) ==
                                               "multipart/related";
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) {
            walk(g_mime_multipart_get_part(multipart, i), related, depth + 1, found);
        }
        return;
    }
    PartInfo info;
    info.object = object;
    info.content_type_raw = raw_header(object, "Content-Type");
    info.type = header_main_value(info.content_type_raw);
    if (info.type.isEmpty() || !info.type.contains('/')) info.type = "text/plain";
    const QByteArray disposition_raw = raw_header(object, "Content-Disposition");
    const QByteArray disposition = header_main_value(disposition_raw);
    info.file_name = header_parameter(disposition_raw, "filename");
    if (info.file_name.isEmpty()) info.file_name = header_parameter(info.content_type_raw, "name");

    if (GMIME_IS_MESSAGE_PART(object)) {
        if (!found.attachment.object) found.attachment = info;  // a forwarded mail
        return;
    }
    if (!GMIME_IS_PART(object)) return;
    const bool text = info.type.startsWith("text/");
    // Pictures inside an HTML mail (multipart/related) belong to its layout, not to the user.
    const bool attachment = disposition == "attachment" ||
                            (!info.file_name.isEmpty() && disposition != "inline") ||
                            (!text && !in_related);
    if (attachment) {
        if (!found.attachment.object) found.attachment = info;
    } else if (info.type == "text/plain" && !found.plain.object) {
        found.plain = info;
    } else if (info.type == "text/html" && !found.html.object) {
        found.html = info;
    }
}

QByteArray decoded_content(GMimeObject* object) {
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    if (!content) return {};
    GRef<GMimeStream> memory(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, memory.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data),
                      static_cast<qsizetype>(bytes->len));
}

QString readable_lines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return (u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7F;
    });
    while (!text.isEmpty() && text.back().isSpace()) text.chop(1);
    return text;
}

QString body_text(const Found& found) {
    const PartInfo& part = found.plain.object ? found.plain : found.html;
    if (!part.object) return {};
    const QByteArray bytes = decoded_content(part.object);
    QByteArray charset = header_parameter(part.content_type_raw, "charset").toLatin1();
    if (part.type == "text/html") {
        if (charset.isEmpty()) charset = html_declared_charset(bytes);
        return readable_lines(html_to_text(decode_charset(bytes, charset)));
    }
    return readable_lines(decode_charset(bytes, charset));
}

QString fallback_name(const PartInfo& part) {
    if (GMIME_IS_MESSAGE_PART(part.object)) return QStringLiteral("message.eml");
    const QMimeType type = QMimeDatabase().mimeTypeForName(QString::fromLatin1(part.type));
    const QString suffix = type.isValid() ? type.preferredSuffix() : QString();
    return suffix.isEmpty() ? QStringLiteral("attachment") : QStringLiteral("attachment.") + suffix;
}

// Writes the decoded attachment to a new file in dir; its absolute path, or empty and *error.
QString save_attachment(GMimeObject* part, const QString& name, const QString& dir,
                        QString* error) {
    QDir().mkpath(dir);
    QString used;
    const int fd = create_new_file(dir, name, &used);
    if (fd < 0) {
        *error = QStringLiteral("添付ファイル「%1」を保存できません（%2）")
                     .arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    GRef<GMimeStream> out(g_mime_stream_fs_new(fd));
    ssize_t written = 0;
    if (GMIME_IS_MESSAGE_PART(part)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
        written =
            inner ? g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, out.get()) : 0;
    } else if (GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part))) {
        written = g_mime_data_wrapper_write_to_stream(content, out.get());
    }
    const bool ok = written >= 0 && g_mime_stream_flush(out.get()) == 0;
    out.reset();
    const QString full = QDir(dir).absoluteFilePath(used);
    if (!ok) {
        QFile::remove(full);
        *error = QStringLiteral("添付ファイル「%1」を保存できません").arg(name);
        return {};
    }
    return full;
}

// The whole file as the body of a mail that has no header.
ParsedMail headerless_mail(QByteArrayView bytes) {
    ParsedMail mail;
    mail.subject = no_subject();
    mail.body = readable_lines(decode_unlabelled(bytes));
    mail.headerless = true;
    return mail;
}

// The file's bytes, mapped: a stream for GMime and the view of the same bytes.
// The stream owns fd from here on.
GRef<GMimeStream> mapped_file(int fd, QByteArrayView* bytes) {
    GMimeStream* mapped = g_mime_stream_mmap_new(fd, PROT_READ, MAP_PRIVATE);
    if (mapped) {
        const GMimeStreamMmap* m = GMIME_STREAM_MMAP(mapped);
        *bytes = QByteArrayView(m->map, static_cast<qsizetype>(m->maplen));
        return GRef<GMimeStream>(mapped);
    }
    // No mapping (a file system that cannot map): read the file into memory instead.
    GRef<GMimeStream> file(g_mime_stream_fs_new(fd));
    GRef<GMimeStream> memory(g_mime_stream_mem_new());
    if (g_mime_stream_write_to_stream(file.get(), memory.get()) < 0) return {};
    g_mime_stream_reset(memory.get());
    const GByteArray* data = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
    *bytes = QByteArrayView(reinterpret_cast<const char*>(data->data),
                            static_cast<qsizetype>(data->len));
    return memory;
}

}  // namespace

std::optional<ParsedMail> MailReader::read(const QString& file, const QString& dir) {
    ensure_gmime();
    error_.clear();
    const QString path =
        QFileInfo(file).isAbsolute() || dir.isEmpty() ? file : dir + QLatin1Char('/') + file;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error_ = QStringLiteral("メールのファイル「%1」を開けません（%2）")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
        ::close(fd);
        error_ = QStringLiteral("メールのファイル「%1」は空か、ふつうのファイルではありません")
                     .arg(path);
        return std::nullopt;
    }
    QByteArrayView bytes;
    const GRef<GMimeStream> file_stream = mapped_file(fd, &bytes);
    if (!file_stream || bytes.isEmpty()) {
        error_ = QStringLiteral("メールのファイル「%1」を読めません").arg(path);
        return std::nullopt;
    }
    GRef<GMimeStream> stream = bounded_stream(bytes, file_stream.get());
    GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), parser_options()));
    GMimeObject* top = message ? GMIME_OBJECT(message.get()) : nullptr;
    if (!top ||
        !(has_mail_header(top) || has_mail_header(g_mime_message_get_mime_part(message.get())))) {
        return headerless_mail(bytes);
    }

    ParsedMail mail;
    mail.subject = decode_header_text(raw_header(top, "Subject"));
    QByteArray from = raw_header(top, "From");
    if (from.trimmed().isEmpty()) from = raw_header(top, "Sender");
    mail.sender = decode_mailbox(from);
    mail.date = decode_header_text(raw_header(top, "Date"));

    Found found;
    walk(g_mime_message_get_mime_part(message.get()), false, 0, found);
    mail.body = body_text(found);
    if (found.attachment.object) {
        const QByteArray type = GMIME_IS_MESSAGE_PART(found.attachment.object)
                                    ? QByteArray("message/rfc822")
                                    : found.attachment.type;
        const QString folder =
            attachment_dir(dir.isEmpty() ? QFileInfo(path).absolutePath() : dir, path);
        mail.attachment = save_attachment(
            found.attachment.object,
            attachment_file_name(found.attachment.file_name, type, fallback_name(found.attachment)),
            folder, &error_);
        if (!mail.attachment.isEmpty()) mail.attachment_type = QString::fromLatin1(type);
    }
    return mail;
}

}  // namespace qv::mail
