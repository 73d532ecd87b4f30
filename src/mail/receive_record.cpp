#include "mail/receive_record.h"

#include <QCryptographicHash>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace qv::mail {
namespace {

// The first line of a record in this format; a record without it is of the older one.
const QByteArray kHeader = "#qv-receive 2";

QString system_error() { return QString::fromLocal8Bit(std::strerror(errno)); }

QString cannot_write() {
    return QStringLiteral("受信の記録を書き込めません（%1）").arg(system_error());
}

bool write_all(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

QByteArray saving_line(const ReceiveRecord::Entry& e) {
    return "S\t" + e.uid + '\t' + QFile::encodeName(e.temp) + '\t' + QFile::encodeName(e.file) +
           '\t' + e.key + '\n';
}

}  // namespace

QString ReceiveRecord::file_name(const ServerAddress& server, const QString& user) {
    const QByteArray key =
        server.host.toUtf8() + ':' + QByteArray::number(server.port) + '\n' + user.toUtf8();
    return QStringLiteral(".uidl-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

ReceiveRecord::~ReceiveRecord() {
    if (fd_ >= 0) ::close(fd_);
    if (dir_fd_ >= 0) ::close(dir_fd_);  // also releases the lock
}

const ReceiveRecord::Entry* ReceiveRecord::find(const QByteArray& uid) const {
    const auto it = index_.constFind(uid);
    return it == index_.constEnd() ? nullptr : &entries_[*it];
}

ReceiveRecord::Entry& ReceiveRecord::entry(const QByteArray& uid) {
    const auto it = index_.constFind(uid);
    if (it != index_.constEnd()) return entries_[*it];
    index_.insert(uid, entries_.size());
    entries_.push_back(Entry{uid, {}, {}, {}, false});
    return entries_.back();
}

void ReceiveRecord::apply(const QByteArray& line) {
    const QList<QByteArray> f = line.split('\t');
    if (f.size() >= 5 && f[0] == "S" && !f[1].isEmpty()) {
        Entry& e = entry(f[1]);
        e.temp = QFile::decodeName(f[2]);
        e.file = QFile::decodeName(f[3]);
        e.key = f[4];
    } else if (f.size() == 2 && f[0] == "D" && index_.contains(f[1])) {
        entry(f[1]).stored = true;
    } else if (f.size() == 2 && f[0] == "V") {
        uidvalidity_ = f[1].toUInt();
    }
}

bool ReceiveRecord::open(const QString& dir, const QString& name, QString* error) {
    dir_ = dir;
    name_ = name;
    dir_fd_ = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd_ < 0) {
        *error =
            QStringLiteral("保存先のフォルダー「%1」を開けません（%2）").arg(dir, system_error());
        return false;
    }
    if (::flock(dir_fd_, LOCK_EX | LOCK_NB) != 0) {
        *error = QStringLiteral("メールの受信がほかで実行中です");
        return false;
    }
    const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + name);
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        *error = QStringLiteral("受信の記録ファイルを開けません（%1）").arg(system_error());
        return false;
    }
    QByteArray content;
    char buffer[65536];
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
    empty_file_ = content.isEmpty();
    const qsizetype end = content.lastIndexOf('\n');
    const QList<QByteArray> lines = content.left(end + 1).split('\n');
    const bool legacy = !lines.isEmpty() && lines.first() != kHeader;
    for (const QByteArray& line : lines) {
        if (line.isEmpty() || line == kHeader) continue;
        ++lines_;
        if (!legacy) {
            apply(line);
            continue;
        }
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0 || tab + 1 >= line.size()) continue;
        // Saved and recorded by the older version, never handed over. It gave servers without
        // UIDL a stand-in id that matches no message.
        QByteArray uid = line.left(tab);
        if (uid == "-") uid = "-legacy-" + QByteArray::number(lines_);
        Entry& e = entry(uid);
        e.file = QFile::decodeName(line.mid(tab + 1));
    }
    // Lines of this format must not follow the older ones.
    if (legacy && !content.isEmpty()) return rewrite(0, entries_, error);
    return true;
}

bool ReceiveRecord::append(const QByteArray& lines, QString* error) {
    const QByteArray data = empty_file_ ? kHeader + '\n' + lines : lines;
    if (!write_all(fd_, data) || ::fdatasync(fd_) != 0) {
        *error = cannot_write();
        return false;
    }
    empty_file_ = false;
    lines_ += lines.count('\n');
    return true;
}

bool ReceiveRecord::saving(const std::vector<Entry>& entries, QString* error) {
    if (entries.empty()) return true;
    QByteArray lines;
    for (const Entry& e : entries) lines += saving_line(e);
    if (!append(lines, error)) return false;
    for (const Entry& e : entries) {
        Entry& mine = entry(e.uid);
        mine.temp = e.temp;
        mine.file = e.file;
        mine.key = e.key;
    }
    return true;
}

bool ReceiveRecord::stored(const std::vector<QByteArray>& uids, QString* error) {
    if (uids.empty()) return true;
    QByteArray lines;
    for (const QByteArray& uid : uids) lines += "D\t" + uid + '\n';
    if (!append(lines, error)) return false;
    for (const QByteArray& uid : uids) {
        if (index_.contains(uid)) entry(uid).stored = true;
    }
    return true;
}

bool ReceiveRecord::rewrite(quint32 uidvalidity, std::vector<Entry> entries, QString* error) {
    QByteArray data;
    if (!entries.empty() || uidvalidity != 0) {
        data = kHeader + '\n';
        if (uidvalidity != 0) data += "V\t" + QByteArray::number(uidvalidity) + '\n';
    }
    for (const Entry& e : entries) {
        data += saving_line(Entry{e.uid, QString(), e.file, e.key, false});
        if (e.stored) data += "D\t" + e.uid + '\n';
    }
    const QByteArray path = QFile::encodeName(dir_ + QLatin1Char('/') + name_);
    const QByteArray next = path + ".new";
    const int fd = ::open(next.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool done = fd >= 0 && write_all(fd, data) && ::fdatasync(fd) == 0;
    if (fd >= 0 && ::close(fd) != 0) done = false;
    done = done && ::rename(next.constData(), path.constData()) == 0;
    if (!done) {
        *error = cannot_write();
        ::unlink(next.constData());
        return false;
    }
    // The new name must be on disk before anything relies on what it says.
    done = ::fsync(dir_fd_) == 0;
    ::close(fd_);
    fd_ = done ? ::open(path.constData(), O_RDWR | O_APPEND | O_CLOEXEC) : -1;
    if (fd_ < 0) {
        *error = cannot_write();
        return false;
    }
    uidvalidity_ = uidvalidity;
    entries_ = std::move(entries);
    index_.clear();
    lines_ = data.count('\n') - (data.isEmpty() ? 0 : 1);
    for (size_t i = 0; i < entries_.size(); ++i) {
        entries_[i].temp.clear();
        index_.insert(entries_[i].uid, i);
    }
    empty_file_ = data.isEmpty();
    return true;
}

}  // namespace qv::mail
