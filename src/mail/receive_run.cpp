#include "mail/receive_run.h"

#include "core/kill_point.h"
#include "mail/local_files.h"
#include "mail/message_key.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
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
// A header longer than this is keyed by its first part.
constexpr qsizetype kMaxHead = 256 * 1024;

QString system_error(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

QString cannot_save(int code) {
    return QStringLiteral("受信したメールを保存できません（%1）").arg(system_error(code));
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

bool is_regular_file(int dir_fd, const QByteArray& name) {
    struct stat st {};
    return ::fstatat(dir_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode);
}

bool same_file(int dir_fd, const QByteArray& a, const QByteArray& b) {
    struct stat sa {};
    struct stat sb {};
    return ::fstatat(dir_fd, a.constData(), &sa, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstatat(dir_fd, b.constData(), &sb, AT_SYMLINK_NOFOLLOW) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// fdatasync of each file (syncfs would also write out everything else on the disk, other
// programs' files included, and make them pay for it). A few threads at once, because the file
// system then commits their syncs together. Returns 0 or the first errno.
template <class Files>
int sync_files(int dir_fd, const Files& files) {
    std::atomic<size_t> next{0};
    std::atomic<int> failure{0};
    const auto work = [&] {
        for (size_t i; failure == 0 && (i = next++) < files.size();) {
            const int fd = ::openat(dir_fd, files[i].temp.constData(), O_RDONLY | O_CLOEXEC);
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

// The temporary files of the messages, made ahead and closed afterwards on a thread of its own:
// a file system can take its time to find a new file its place (ext4 steps over every file
// deleted lately), and that time then overlaps the transfer instead of adding to it.
class TempFiles {
  public:
    // Files "<prefix>XXXXXX", at most `ahead` of them waiting, `wanted` in all (a file made
    // and not used costs as much as one used).
    TempFiles(QByteArray prefix, size_t ahead, size_t wanted)
        : prefix_(std::move(prefix)), ahead_(ahead), wanted_(wanted) {
        thread_ = std::thread([this] { run(); });
    }
    ~TempFiles() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
        for (const auto& [fd, path] : ready_) {
            ::close(fd);
            ::unlink(path.constData());
        }
    }

    // The next new file, open for writing, and its path; -1 (errno set) when none could be made.
    int take(QByteArray* path) {
        std::unique_lock lock(mutex_);
        if (ready_.empty() && made_ >= wanted_) ++wanted_;  // more messages than announced
        wake_.notify_all();
        done_.wait(lock, [this] { return !ready_.empty() || error_ != 0; });
        if (ready_.empty()) {
            errno = error_;
            return -1;
        }
        auto [fd, name] = std::move(ready_.front());
        ready_.pop_front();
        wake_.notify_all();
        *path = std::move(name);
        return fd;
    }
    // Starts writing the file out and closes it.
    void give_back(int fd) {
        {
            std::lock_guard lock(mutex_);
            closing_.push_back(fd);
        }
        wake_.notify_all();
    }
    // Waits until every file given back is closed; 0 or the first error.
    int closed() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return closing_.empty() && !busy_; });
        return std::exchange(close_error_, 0);
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] {
                return stop_ || !closing_.empty() ||
                       (ready_.size() < ahead_ && made_ < wanted_ && error_ == 0);
            });
            if (stop_ && closing_.empty()) return;
            busy_ = true;
            if (!closing_.empty()) {
                const int fd = closing_.front();
                closing_.pop_front();
                lock.unlock();
                // Written out now; the batch's sync waits for it.
                ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
                const int code = ::close(fd) == 0 ? 0 : errno;
                lock.lock();
                if (code != 0 && close_error_ == 0) close_error_ = code;
            } else {
                lock.unlock();
                QByteArray path = prefix_ + "XXXXXX";
                const int fd = ::mkostemp(path.data(), O_CLOEXEC);
                const int code = errno;
                lock.lock();
                if (fd >= 0) {
                    ++made_;
                    ready_.emplace_back(fd, std::move(path));
                } else {
                    error_ = code;
                }
            }
            busy_ = false;
            done_.notify_all();
        }
    }

    const QByteArray prefix_;
    const size_t ahead_;
    size_t wanted_;
    size_t made_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;  // for the thread
    std::condition_variable done_;  // for the receive
    std::deque<std::pair<int, QByteArray>> ready_;
    std::deque<int> closing_;
    bool busy_ = false;
    bool stop_ = false;
    int error_ = 0;
    int close_error_ = 0;
    std::thread thread_;
};

ReceiveRun::ReceiveRun(QString dir, QString record_name, Options options, BatchSink sink,
                       ReceiveProgress progress)
    : dir_(std::move(dir)),
      record_name_(std::move(record_name)),
      options_(options),
      sink_(std::move(sink)),
      progress_(std::move(progress)) {}

ReceiveRun::~ReceiveRun() {
    if (file_fd_ >= 0) ::close(file_fd_);
    if (handing_) handing_->stored.wait();
}

bool ReceiveRun::exists(const QString& name) const {
    return is_regular_file(record_.dir_fd(), QFile::encodeName(name));
}

QString ReceiveRun::free_name() {
    // Never a name in use, nor one chosen for the batch in hand.
    for (;;) {
        const QString name =
            QStringLiteral("%1-%2.eml").arg(name_stem_).arg(++sequence_, 4, 10, QLatin1Char('0'));
        const bool taken =
            exists(name) || std::any_of(pending_.begin(), pending_.end(),
                                        [&](const Pending& p) { return p.file == name; });
        if (!taken) return name;
    }
}

bool ReceiveRun::local_error(int code) {
    error_ = cannot_save(code);
    return false;
}

bool ReceiveRun::open() {
    QDir().mkpath(dir_);
    if (!record_.open(dir_, record_name_, &error_)) return false;
    const int dir_fd = record_.dir_fd();
    const QString prefix = QStringLiteral(".qv-part") +
                           record_name_.mid(record_name_.indexOf(QLatin1Char('-'))) +
                           QLatin1Char('-');
    temp_prefix_ = QFile::encodeName(prefix);
    name_stem_ = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));

    // Renames a stopped receive recorded but did not get to. A final name taken meanwhile gets
    // a new one, recorded before the rename.
    std::vector<ReceiveRecord::Entry> to_rename;
    std::vector<ReceiveRecord::Entry> renamed;
    for (const ReceiveRecord::Entry& e : record_.entries()) {
        const QByteArray temp = QFile::encodeName(e.temp);
        if (e.temp.isEmpty() || !is_regular_file(dir_fd, temp)) continue;
        if (same_file(dir_fd, temp, QFile::encodeName(e.file))) {
            // Renamed by a link that was stopped before it could remove the old name.
            ::unlinkat(dir_fd, temp.constData(), 0);
            continue;
        }
        to_rename.push_back(e);
        if (exists(e.file)) {
            to_rename.back().file = free_name();
            renamed.push_back(to_rename.back());
        }
    }
    if (!record_.saving(renamed, &error_)) return false;
    for (const ReceiveRecord::Entry& e : to_rename) {
        if (!rename_no_replace(dir_fd, QFile::encodeName(e.temp), QFile::encodeName(e.file))) {
            return local_error(errno);
        }
    }
    if (!to_rename.empty() && ::fsync(dir_fd) != 0) return local_error(errno);

    // A message saved but not stored whose file is lost is fetched again.
    for (const ReceiveRecord::Entry& e : record_.entries()) {
        if (!e.stored && !exists(e.file)) gone_.insert(e.uid);
    }
    // The temporaries nothing names: a receive stopped while they were written.
    const QStringList stale = QDir(dir_).entryList({prefix + QLatin1Char('*')},
                                                   QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : stale) {
        ::unlinkat(dir_fd, QFile::encodeName(name).constData(), 0);
    }
    return true;
}

bool ReceiveRun::known(const QByteArray& uid) const {
    return record_.find(uid) && !gone_.contains(uid);
}

bool ReceiveRun::stored(const QByteArray& uid) const {
    const ReceiveRecord::Entry* e = record_.find(uid);
    return e && e->stored;
}

bool ReceiveRun::fail(const QString& reason) {
    if (handing_) {
        // Its files are stored or not; either way the next receive finds out by their names.
        Handing h = std::move(*handing_);
        handing_.reset();
        QString ignored;
        if (h.stored.get()) record_.stored(h.uids, &ignored);
    }
    temps_.reset();  // the files made ahead go, the ones written are closed
    if (file_fd_ >= 0) {
        ::close(file_fd_);
        file_fd_ = -1;
        ::unlinkat(record_.dir_fd(), file_.temp.constData(), 0);
    }
    if (!pending_recorded_) {
        for (const Pending& p : pending_) ::unlinkat(record_.dir_fd(), p.temp.constData(), 0);
    }
    pending_.clear();
    pending_bytes_ = 0;
    pending_recorded_ = false;
    if (!reason.isEmpty() || error_.isEmpty()) error_ = reason;
    return false;
}

bool ReceiveRun::hand_over(const QStringList& names, const std::vector<QByteArray>& uids) {
    if (!collect()) return false;
    if (names.isEmpty()) return true;
    if (sink_) {
        handing_.emplace(Handing{names, uids, {}});
        handing_->stored =
            std::async(std::launch::async, [sink = sink_, names] { return sink(names); });
        return true;
    }
    if (!record_.stored(uids, &error_)) return fail(error_);
    handed_ += names;
    return true;
}

bool ReceiveRun::collect() {
    if (!handing_) return true;
    Handing h = std::move(*handing_);
    handing_.reset();
    if (!h.stored.get()) {
        return fail(
            QStringLiteral("受信したメールを保存できなかったため、途中でやめました。サーバーのメー"
                           "ルは消していません"));
    }
    if (!record_.stored(h.uids, &error_)) return fail(error_);
    kill_point("after-mark");
    handed_ += h.names;
    return true;
}

bool ReceiveRun::hand_over_saved() {
    QStringList names;
    std::vector<QByteArray> uids;
    for (const ReceiveRecord::Entry& e : record_.entries()) {
        if (e.stored || gone_.contains(e.uid)) continue;
        names.append(e.file);
        uids.push_back(e.uid);
    }
    return hand_over(names, uids) && collect();
}

bool ReceiveRun::begin(const QByteArray& uid) {
    if (!temps_) {
        temps_ = std::make_unique<TempFiles>(QFile::encodeName(dir_) + '/' + temp_prefix_, 16,
                                             std::max(1, to_fetch_ - fetched_));
    }
    QByteArray path;
    file_fd_ = temps_->take(&path);
    if (file_fd_ < 0) return local_error(errno);
    file_ = Pending{uid, path.mid(path.lastIndexOf('/') + 1), QByteArray(), QString()};
    file_size_ = 0;
    buffer_.clear();
    head_.clear();
    return true;
}

bool ReceiveRun::flush_buffer() {
    if (buffer_.isEmpty()) return true;
    if (!write_all(file_fd_, buffer_.constData(), static_cast<size_t>(buffer_.size()))) {
        return local_error(errno);
    }
    buffer_.clear();
    return true;
}

bool ReceiveRun::data(const char* bytes, size_t size) {
    file_size_ += static_cast<qint64>(size);
    if (options_.keys && head_.size() < kMaxHead && header_length(head_) < 0) {
        head_.append(bytes, static_cast<qsizetype>(std::min<size_t>(size, kMaxHead)));
    }
    if (buffer_.size() + static_cast<qsizetype>(size) > kWriteBuffer && !flush_buffer()) {
        return false;
    }
    if (static_cast<qsizetype>(size) >= kWriteBuffer) {
        return write_all(file_fd_, bytes, size) || local_error(errno);
    }
    buffer_.append(bytes, static_cast<qsizetype>(size));
    return true;
}

bool ReceiveRun::end() {
    if (!flush_buffer()) return false;
    temps_->give_back(file_fd_);
    file_fd_ = -1;
    if (options_.keys) file_.key = message_key(head_);
    pending_.push_back(file_);
    pending_bytes_ += file_size_;
    ++fetched_;
    kill_point("after-retr");
    if (progress_) progress_(fetched_, to_fetch_);
    if (static_cast<int>(pending_.size()) >= options_.batch_messages ||
        pending_bytes_ >= options_.batch_bytes) {
        return commit();
    }
    return true;
}

bool ReceiveRun::batch_due() const {
    return static_cast<int>(pending_.size()) + 1 >= options_.batch_messages ||
           pending_bytes_ + file_size_ >= options_.batch_bytes;
}

bool ReceiveRun::flush() { return commit(); }

bool ReceiveRun::commit() {
    if (pending_.empty()) return true;
    const int dir_fd = record_.dir_fd();
    // The data first, then the names it will have, then the names themselves.
    if (const int code = temps_ ? temps_->closed() : 0; code != 0) return fail(cannot_save(code));
    if (const int code = sync_files(dir_fd, pending_); code != 0) return fail(cannot_save(code));
    kill_point("after-write");
    std::vector<ReceiveRecord::Entry> entries;
    for (Pending& p : pending_) {
        p.file = free_name();
        entries.push_back({p.uid, QFile::decodeName(p.temp), p.file, p.key, false});
    }
    if (!record_.saving(entries, &error_)) return fail(error_);
    pending_recorded_ = true;
    kill_point("after-journal");
    for (const Pending& p : pending_) {
        if (!rename_no_replace(dir_fd, p.temp, QFile::encodeName(p.file))) {
            return fail(cannot_save(errno));  // finished by the next receive
        }
    }
    if (::fsync(dir_fd) != 0) return fail(cannot_save(errno));
    kill_point("after-rename");
    QStringList names;
    std::vector<QByteArray> uids;
    for (const Pending& p : pending_) {
        names.append(p.file);
        uids.push_back(p.uid);
    }
    pending_.clear();
    pending_bytes_ = 0;
    pending_recorded_ = false;
    return hand_over(names, uids);
}

bool ReceiveRun::finish(const QSet<QByteArray>& on_server, const QSet<QByteArray>& deleted) {
    std::vector<ReceiveRecord::Entry> kept;
    bool pruned = false;
    for (const ReceiveRecord::Entry& e : record_.entries()) {
        const bool drop = gone_.contains(e.uid) ||
                          (e.stored && (!on_server.contains(e.uid) || deleted.contains(e.uid)));
        if (drop) {
            pruned = true;
        } else {
            kept.push_back(e);
        }
    }
    // Marks and renames add lines: the record is also rewritten when it has grown long.
    const bool long_winded = record_.lines() > 3 * static_cast<qsizetype>(kept.size()) + 64;
    if (!pruned && !long_winded) return true;
    return record_.rewrite(record_.uidvalidity(), std::move(kept), &error_);
}

}  // namespace qv::mail
