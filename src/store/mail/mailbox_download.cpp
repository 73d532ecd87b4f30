#include "store/mail/mailbox_download.h"

#include "store/mail/local_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qv::mail {
namespace {

QString system_error(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// Servers without UIDL still get their files recorded, so that a failed receive hands them over
// later; the stand-in id never matches a message.
const QByteArray kNoUidl = "-";

bool is_regular_file(int dir_fd, const QString& name) {
    struct stat st {};
    return ::fstatat(dir_fd, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

}  // namespace

MailboxDownload::MailboxDownload(Pop3Session& session, QString dir, QString record_name,
                                 Options options, std::function<void(int, int)> progress)
    : session_(session),
      dir_(std::move(dir)),
      record_name_(std::move(record_name)),
      options_(options),
      progress_(std::move(progress)) {}

MailboxDownload::~MailboxDownload() {
    if (dir_fd_ >= 0) ::close(dir_fd_);
}

bool MailboxDownload::fail(const QString& reason) {
    session_.abandon();  // no QUIT: the server deletes nothing of this session
    for (const Pending& p : pending_) {
        ::unlinkat(dir_fd_, p.temp_name.constData(), 0);
    }
    pending_.clear();
    pending_bytes_ = 0;
    error_ = reason;
    return false;
}

void MailboxDownload::remove_stale_temporaries(const QString& prefix) {
    // Left by a receive that was killed; never final files, never recorded.
    const QStringList stale = QDir(dir_).entryList({prefix + QLatin1Char('*')},
                                                   QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : stale) {
        ::unlinkat(dir_fd_, QFile::encodeName(name).constData(), 0);
    }
}

std::optional<QStringList> MailboxDownload::run() {
    QDir().mkpath(dir_);
    dir_fd_ = ::open(QFile::encodeName(dir_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0) {
        error_ = QStringLiteral("保存先のフォルダー「%1」を開けません（%2）")
                     .arg(dir_, system_error(errno));
        return std::nullopt;
    }
    if (!record_.open(dir_, record_name_, &error_)) return std::nullopt;
    const QString prefix = QStringLiteral(".qv-part") +
                           record_name_.mid(record_name_.indexOf(QLatin1Char('-'))) +
                           QLatin1Char('-');
    temp_prefix_ = QFile::encodeName(prefix);
    remove_stale_temporaries(prefix);
    name_stem_ = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));

    std::vector<std::pair<int, QByteArray>> messages;
    if (!session_.uidl(&messages)) {
        fail(session_.error());
        return std::nullopt;
    }

    // Saved by an earlier receive that then failed: still to be handed over, not fetched again.
    QSet<QByteArray> recorded;
    QStringList carried;
    for (const UidlRecord::Entry& e : record_.entries()) {
        if (!is_regular_file(dir_fd_, e.file) || carried.contains(e.file)) continue;
        carried.append(e.file);
        if (e.uidl != kNoUidl) recorded.insert(e.uidl);
    }

    const int total = static_cast<int>(messages.size());
    int done = 0;
    for (const auto& [number, uidl] : messages) {
        if (!uidl.isEmpty() && recorded.contains(uidl)) {
            if (!session_.dele(number)) {
                fail(session_.error());
                return std::nullopt;
            }
        } else if (!fetch(number, uidl)) {
            return std::nullopt;
        }
        ++done;
        if (progress_) progress_(done, total);
        if (static_cast<int>(pending_.size()) >= options_.batch_messages ||
            pending_bytes_ >= options_.batch_bytes) {
            if (!commit()) return std::nullopt;
        }
    }
    if (!commit()) return std::nullopt;
    // Everything is on disk and recorded: now the deletions may take effect.
    if (!session_.quit()) {
        fail(session_.error());
        return std::nullopt;
    }
    if (!record_.clear(&error_)) return std::nullopt;  // handed over next time instead
    return carried + saved_;
}

bool MailboxDownload::fetch(int number, const QByteArray& uidl) {
    QByteArray path = QFile::encodeName(dir_) + '/' + temp_prefix_ + "XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        return fail(
            QStringLiteral("受信したメールを保存できません（%1）").arg(system_error(errno)));
    }
    const QByteArray temp_name = path.mid(path.lastIndexOf('/') + 1);
    qint64 size = 0;
    int write_errno = 0;
    const Pop3Session::Sink sink = [&](const char* data, size_t length) {
        while (length > 0) {
            const ssize_t n = ::write(fd, data, length);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                write_errno = n < 0 ? errno : EIO;
                return false;
            }
            data += n;
            length -= static_cast<size_t>(n);
            size += n;
        }
        return true;
    };
    const bool received = session_.retr(number, sink);
    const bool closed = ::close(fd) == 0;
    if (!closed && write_errno == 0) write_errno = errno;
    // Known from here on, so that any failure below removes it.
    pending_.push_back({number, uidl.isEmpty() ? kNoUidl : uidl, temp_name, size});
    pending_bytes_ += size;
    if (!received && !session_.sink_failed()) return fail(session_.error());
    if (!received || !closed) {
        return fail(
            QStringLiteral("受信したメールを保存できません（%1）").arg(system_error(write_errno)));
    }
    // Answered on the same connection, DELE also proves that the whole message came through.
    if (!session_.dele(number)) return fail(session_.error());
    return true;
}

bool MailboxDownload::commit() {
    if (pending_.empty()) return true;
    std::vector<UidlRecord::Entry> entries;
    QStringList names;
    const auto undo = [&](const QString& reason) {
        for (const QString& name : names) {
            ::unlinkat(dir_fd_, QFile::encodeName(name).constData(), 0);
        }
        return fail(reason);
    };
    // The data first, then the names, then the record that relies on both.
    if (::syncfs(dir_fd_) != 0) {
        return undo(
            QStringLiteral("受信したメールを保存できません（%1）").arg(system_error(errno)));
    }
    for (const Pending& p : pending_) {
        const QString name =
            QStringLiteral("%1-%2.eml").arg(name_stem_).arg(++sequence_, 4, 10, QLatin1Char('0'));
        QString used;
        if (!rename_to_new_name(dir_fd_, p.temp_name, name, &used)) {
            return undo(
                QStringLiteral("受信したメールを保存できません（%1）").arg(system_error(errno)));
        }
        names.append(used);
        entries.push_back({p.uidl, used});
    }
    if (::fsync(dir_fd_) != 0) {
        return undo(
            QStringLiteral("受信したメールを保存できません（%1）").arg(system_error(errno)));
    }
    QString error;
    if (!record_.append(entries, &error)) return undo(error);
    saved_ += names;
    pending_.clear();
    pending_bytes_ = 0;
    return true;
}

}  // namespace qv::mail
