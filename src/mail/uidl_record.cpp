#include "mail/uidl_record.h"

#include <QCryptographicHash>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace qv::mail {
namespace {

QString system_error() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool write_all(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= n;
    }
    return true;
}

}  // namespace

QString UidlRecord::file_name(const ServerAddress& server, const QString& user) {
    const QByteArray key =
        server.host.toUtf8() + ':' + QByteArray::number(server.port) + '\n' + user.toUtf8();
    return QStringLiteral(".uidl-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

UidlRecord::~UidlRecord() {
    if (fd_ >= 0) ::close(fd_);  // also releases the lock
}

bool UidlRecord::open(const QString& dir, const QString& name, QString* error) {
    const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + name);
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        *error = QStringLiteral("受信の記録ファイルを開けません（%1）").arg(system_error());
        return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        *error = QStringLiteral("このアカウントの受信がほかで実行中です");
        return false;
    }
    QByteArray content;
    char buffer[16384];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = QStringLiteral("受信の記録ファイルを読めません（%1）").arg(system_error());
            return false;
        }
        if (n == 0) break;
        content.append(buffer, n);
        offset += n;
    }
    // Only whole lines count: a line cut short by a crash was never synced, so never relied on.
    const qsizetype end = content.lastIndexOf('\n');
    for (const QByteArray& line : content.left(end + 1).split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0 || tab + 1 >= line.size()) continue;
        entries_.push_back({line.left(tab), QFile::decodeName(line.mid(tab + 1))});
    }
    return true;
}

bool UidlRecord::append(const std::vector<Entry>& entries, QString* error) {
    if (entries.empty()) return true;
    QByteArray data;
    for (const Entry& e : entries) {
        data += e.uidl + '\t' + QFile::encodeName(e.file) + '\n';
    }
    if (!write_all(fd_, data) || ::fdatasync(fd_) != 0) {
        *error = QStringLiteral("受信の記録を書き込めません（%1）").arg(system_error());
        return false;
    }
    entries_.insert(entries_.end(), entries.begin(), entries.end());
    return true;
}

bool UidlRecord::clear(QString* error) {
    if (::ftruncate(fd_, 0) != 0 || ::fdatasync(fd_) != 0) {
        *error = QStringLiteral("受信の記録を書き込めません（%1）").arg(system_error());
        return false;
    }
    entries_.clear();
    return true;
}

}  // namespace qv::mail
