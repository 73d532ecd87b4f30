#include "mail/local_files.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>

namespace qv::mail {
namespace {

constexpr int kMaxNumbered = 100000;
constexpr qsizetype kMaxNameBytes = 200;  // leaves room for "-12345" under NAME_MAX (255)

bool forbidden(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F)) return true;
    switch (u) {
        case u'/':
        case u'\\':
        case u':':
        case u'*':
        case u'?':
        case u'"':
        case u'<':
        case u'>':
        case u'|':
            return true;
        default:
            return false;
    }
}

QString shortened(const QString& name) {
    if (name.toUtf8().size() <= kMaxNameBytes) return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = (dot > 0 && name.size() - dot <= 16) ? name.mid(dot) : QString();
    QString base = name.left(name.size() - ext.size());
    while (!base.isEmpty() && (base + ext).toUtf8().size() > kMaxNameBytes) {
        base.chop(base.back().isLowSurrogate() && base.size() > 1 ? 2 : 1);
    }
    return base + ext;
}

// DOS device names, with or without an extension: harmless here, but a trap for whoever copies
// the file to a Windows share or a memory card.
bool reserved_device_name(const QString& name) {
    const QString base = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList fixed = {QStringLiteral("CON"),    QStringLiteral("PRN"),
                                      QStringLiteral("AUX"),    QStringLiteral("NUL"),
                                      QStringLiteral("CONIN$"), QStringLiteral("CONOUT$")};
    if (fixed.contains(base)) return true;
    return base.size() == 4 &&
           (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base.back().isDigit();
}

bool rename_between(int from_dir_fd, const QByteArray& from, int to_dir_fd, const QByteArray& to) {
    int rc =
        ::renameat2(from_dir_fd, from.constData(), to_dir_fd, to.constData(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without RENAME_NOREPLACE: a hard link fails the same way on a name that
        // exists, and the old name goes afterwards.
        rc = ::linkat(from_dir_fd, from.constData(), to_dir_fd, to.constData(), 0);
        if (rc == 0) ::unlinkat(from_dir_fd, from.constData(), 0);
    }
    return rc == 0;
}

}  // namespace

QString safe_file_name(const QString& proposed, const QString& fallback) {
    QString name = proposed;
    const qsizetype cut =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) name = name.mid(cut + 1);
    QString clean;
    clean.reserve(name.size());
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) continue;  // dropped outright
        clean += forbidden(c) ? QLatin1Char('_') : c;
    }
    // No hidden files, no "." or "..", and no trailing dots or spaces other systems strip.
    qsizetype start = 0;
    while (start < clean.size() && (clean[start] == QLatin1Char('.') || clean[start].isSpace())) {
        ++start;
    }
    clean = clean.mid(start);
    while (!clean.isEmpty() && (clean.back() == QLatin1Char('.') || clean.back().isSpace())) {
        clean.chop(1);
    }
    clean = shortened(clean);
    return clean.isEmpty() ? fallback : clean;
}

QString attachment_file_name(const QString& proposed, const QByteArray& type,
                             const QString& fallback) {
    QString name = safe_file_name(proposed, fallback);
    if (reserved_device_name(name)) name.prepend(QLatin1Char('_'));
    const QLatin1String mp3(".mp3");
    if (type == "audio/mpeg") {
        if (name.endsWith(mp3, Qt::CaseInsensitive)) name.chop(4);
        // Room for the numbered variants and the extension under the length limit.
        return shortened(name + mp3);
    }
    // The player takes any attachment whose path holds ".mp3" for a voice message.
    qsizetype at = 0;
    while ((at = name.indexOf(mp3, at, Qt::CaseInsensitive)) >= 0) name[at] = QLatin1Char('_');
    return name;
}

QString numbered_name(const QString& name, int n) {
    if (n == 0) return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) return name + QLatin1Char('-') + QString::number(n);
    return name.left(dot) + QLatin1Char('-') + QString::number(n) + name.mid(dot);
}

int create_new_file(const QString& dir, const QString& name, QString* used_name) {
    for (int n = 0; n < kMaxNumbered; ++n) {
        const QString candidate = numbered_name(name, n);
        const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + candidate);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            *used_name = candidate;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

bool rename_no_replace(int dir_fd, const QByteArray& from, const QByteArray& to) {
    return rename_between(dir_fd, from, dir_fd, to);
}

bool rename_to_new_name(int dir_fd, const QByteArray& from, const QString& name,
                        QString* used_name) {
    return rename_to_new_name(dir_fd, from, dir_fd, name, used_name);
}

bool rename_to_new_name(int from_dir_fd, const QByteArray& from, int to_dir_fd, const QString& name,
                        QString* used_name) {
    for (int n = 0; n < kMaxNumbered; ++n) {
        const QString candidate = numbered_name(name, n);
        if (rename_between(from_dir_fd, from, to_dir_fd, QFile::encodeName(candidate))) {
            *used_name = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

}  // namespace qv::mail
