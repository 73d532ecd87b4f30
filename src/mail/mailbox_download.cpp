#include "mail/mailbox_download.h"

#include "mail/local_files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qv::mail {
namespace {

// Threads that sync received files at the same time.
constexpr size_t kSyncThreads = 8;
// Small pieces of a message are gathered to this size before they go to the file.
constexpr qsizetype kWriteBuffer = 256 * 1024;

// Servers without UIDL still get their files recorded, so that a failed receive hands them over
// later; the stand-in id never matches a message.
const QByteArray kNoUidl = "-";

QString system_error(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

QString cannot_save(int code) {
    return QStringLiteral("受信したメールを保存できません（%1）").arg(system_error(code));
}

bool is_regular_file(int dir_fd, const QString& name) {
    struct stat st {};
    return ::fstatat(dir_fd, QFile::encodeName(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

bool write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// fdatasync of each file (syncfs would also write out everything else on the disk, other
// programs' files included, and make them pay for it). A few threads at once, because the file
// system then commits their syncs together. Returns 0 or the first errno.
int sync_files(int dir_fd, const std::vector<MailboxDownload::Pending>& files) {
    std::atomic<size_t> next{0};
    std::atomic<int> failure{0};
    const auto work = [&] {
        for (size_t i; failure == 0 && (i = next++) < files.size();) {
            const int fd = ::openat(dir_fd, files[i].temp_name.constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0 || ::fdatasync(fd) != 0) failure = errno ? errno : EIO;
            if (fd >= 0) ::close(fd);
        }
    };
    const size_t helpers = std::min<size_t>(kSyncThreads - 1, files.size() / 32);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < helpers; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    return failure;
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
    if (file_fd_ >= 0) ::close(file_fd_);
    if (dir_fd_ >= 0) ::close(dir_fd_);
}

bool MailboxDownload::fail(const QString& reason) {
    session_.abandon();  // no QUIT: the server deletes nothing of this session
    if (file_fd_ >= 0) {
        ::close(file_fd_);
        file_fd_ = -1;
        ::unlinkat(dir_fd_, file_name_.constData(), 0);
    }
    for (const Pending& p : pending_) {
        ::unlinkat(dir_fd_, p.temp_name.constData(), 0);
    }
    pending_.clear();
    pending_bytes_ = 0;
    error_ = reason;
    return false;
}

bool MailboxDownload::local_error(int code) {
    error_ = cannot_save(code);
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

    std::vector<Pop3Session::Step> steps;
    std::vector<QByteArray> uidls;
    for (const auto& [number, uidl] : messages) {
        const bool fetch = uidl.isEmpty() || !recorded.contains(uidl);
        steps.push_back({number, fetch});
        uidls.push_back(uidl.isEmpty() ? kNoUidl : uidl);
        to_fetch_ += fetch ? 1 : 0;
    }
    const Pop3Session::Receiver receiver{
        [&](size_t step) { return begin_message(uidls[step]); },
        [&](const char* data, size_t size) { return write_message(data, size); },
        [&](size_t) { return end_message(); }};
    if (!session_.fetch_and_delete(steps, receiver)) {
        fail(session_.local_failure() ? error_ : session_.error());
        return std::nullopt;
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

bool MailboxDownload::begin_message(const QByteArray& uidl) {
    QByteArray path = QFile::encodeName(dir_) + '/' + temp_prefix_ + "XXXXXX";
    file_fd_ = ::mkostemp(path.data(), O_CLOEXEC);
    if (file_fd_ < 0) return local_error(errno);
    file_name_ = path.mid(path.lastIndexOf('/') + 1);
    file_uidl_ = uidl;
    file_size_ = 0;
    buffer_.clear();
    return true;
}

bool MailboxDownload::flush_buffer() {
    if (buffer_.isEmpty()) return true;
    if (!write_all(file_fd_, buffer_.constData(), static_cast<size_t>(buffer_.size()))) {
        return local_error(errno);
    }
    buffer_.clear();
    return true;
}

bool MailboxDownload::write_message(const char* data, size_t size) {
    file_size_ += static_cast<qint64>(size);
    if (buffer_.size() + static_cast<qsizetype>(size) > kWriteBuffer && !flush_buffer()) {
        return false;
    }
    if (static_cast<qsizetype>(size) >= kWriteBuffer) {
        return write_all(file_fd_, data, size) || local_error(errno);
    }
    buffer_.append(data, static_cast<qsizetype>(size));
    return true;
}

bool MailboxDownload::end_message() {
    if (!flush_buffer()) return false;
    const int fd = file_fd_;
    file_fd_ = -1;
    // Start writing it out now; commit() waits for it.
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlinkat(dir_fd_, file_name_.constData(), 0);
        return local_error(code);
    }
    pending_.push_back({file_uidl_, file_name_});
    pending_bytes_ += file_size_;
    ++fetched_;
    if (progress_) progress_(fetched_, to_fetch_);
    if (static_cast<int>(pending_.size()) >= options_.batch_messages ||
        pending_bytes_ >= options_.batch_bytes) {
        // The deletions asked for so far are not committed before QUIT, so saving a batch in
        // the middle of the session is safe.
        return commit();
    }
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
    if (const int code = sync_files(dir_fd_, pending_); code != 0) return undo(cannot_save(code));
    for (const Pending& p : pending_) {
        const QString name =
            QStringLiteral("%1-%2.eml").arg(name_stem_).arg(++sequence_, 4, 10, QLatin1Char('0'));
        QString used;
        if (!rename_to_new_name(dir_fd_, p.temp_name, name, &used)) {
            return undo(cannot_save(errno));
        }
        names.append(used);
        entries.push_back({p.uidl, used});
    }
    if (::fsync(dir_fd_) != 0) return undo(cannot_save(errno));
    QString error;
    if (!record_.append(entries, &error)) return undo(error);
    saved_ += names;
    pending_.clear();
    pending_bytes_ = 0;
    return true;
}

}  // namespace qv::mail
