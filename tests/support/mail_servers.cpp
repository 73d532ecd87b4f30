#include "support/mail_servers.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>

namespace qv::test {
namespace {

QHash<QString, QString> read_env_file(const QString& path) {
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return values;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        for (const QByteArray& word : line.simplified().split(' ')) {
            if (word.startsWith('#')) break;
            const qsizetype eq = word.indexOf('=');
            if (eq > 0)
                values.insert(QString::fromUtf8(word.left(eq)),
                              QString::fromUtf8(word.mid(eq + 1)));
        }
    }
    return values;
}

// A blocking connection to a port on 127.0.0.1 that speaks in CRLF-terminated lines.
class LineSocket {
  public:
    explicit LineSocket(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval tv{15, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~LineSocket() { ::close(fd_); }
    LineSocket(const LineSocket&) = delete;
    LineSocket& operator=(const LineSocket&) = delete;
    bool connected() const { return connected_; }

    bool send_line(const QByteArray& text) {
        const QByteArray out = text + "\r\n";
        return ::send(fd_, out.constData(), out.size(), MSG_NOSIGNAL) == out.size();
    }
    // The next line without its CRLF; null when the connection ends or stays silent.
    QByteArray line() {
        for (;;) {
            const qsizetype nl = buffer_.indexOf("\r\n");
            if (nl >= 0) {
                QByteArray l = buffer_.left(nl);
                buffer_.remove(0, nl + 2);
                return l;
            }
            char chunk[4096];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return {};
            buffer_.append(chunk, n);
        }
    }

    int fd_ = -1;
    bool connected_ = false;
    QByteArray buffer_;
};

// A POP3 connection on the plain port (USER/PASS).
class PlainPop3 {
  public:
    PlainPop3(const MailServers& s, const QString& user, const QString& password)
        : socket_(s.pop3_port) {
        ok_ = socket_.connected() && socket_.line().startsWith("+OK") &&
              command("USER " + user.toUtf8()).startsWith("+OK") &&
              command("PASS " + password.toUtf8()).startsWith("+OK");
    }
    ~PlainPop3() {
        if (ok_) command("QUIT");
    }
    bool ok() const { return ok_; }

    QByteArray command(const QByteArray& text) {
        return socket_.send_line(text) ? socket_.line() : QByteArray();
    }
    // The lines of a multi-line answer, up to the terminating "."
    std::vector<QByteArray> body() {
        std::vector<QByteArray> lines;
        for (;;) {
            QByteArray l = socket_.line();
            if (l.isNull() || l == ".") break;
            if (l.startsWith("..")) l.remove(0, 1);
            lines.push_back(l);
        }
        return lines;
    }

  private:
    LineSocket socket_;
    bool ok_ = false;
};

// An IMAP connection on the plain port (LOGIN, which the test Dovecot allows without TLS).
// Answers with literals are beyond it: it asks for none.
class PlainImap {
  public:
    PlainImap(const MailServers& s, const QString& user, const QString& password)
        : socket_(s.imap_port) {
        ok_ = s.imap_port && socket_.connected() && socket_.line().startsWith("* OK") &&
              command("LOGIN \"" + user.toUtf8() + "\" \"" + password.toUtf8() + '"');
    }
    ~PlainImap() {
        if (ok_) command("LOGOUT");
    }
    bool ok() const { return ok_; }

    // Sends a command and collects the untagged answers until the tagged one; true on OK.
    bool command(const QByteArray& text, QList<QByteArray>* untagged = nullptr) {
        const QByteArray tag = 't' + QByteArray::number(++tags_) + ' ';
        if (!socket_.send_line(tag + text)) return false;
        for (;;) {
            const QByteArray l = socket_.line();
            if (l.isNull()) return false;
            if (l.startsWith(tag)) return l.mid(tag.size()).startsWith("OK");
            if (untagged) untagged->append(l);
        }
    }

  private:
    LineSocket socket_;
    bool ok_ = false;
    int tags_ = 0;
};

// The number that follows `word` (and a space) in an IMAP answer line; 0 if there is none.
quint32 number_after(const QByteArray& line, const QByteArray& word) {
    const qsizetype at = line.indexOf(word + ' ');
    if (at < 0) return 0;
    qsizetype end = at + word.size() + 1;
    while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
    return line.mid(at + word.size() + 1, end - at - word.size() - 1).toUInt();
}

}  // namespace

QString MailServers::maildir(const QString& user) const {
    return workdir + QStringLiteral("/mail/") + user + QStringLiteral("/Maildir");
}

std::optional<MailServers> load_mail_servers(QString* why) {
    const QByteArray env_path = qgetenv("QV_MAIL_SERVERS_ENV");
    const QString path = env_path.isEmpty() ? QStringLiteral("/tmp/qmail-servers/env")
                                            : QString::fromLocal8Bit(env_path);
    const QHash<QString, QString> v = read_env_file(path);
    if (v.isEmpty()) {
        *why = QStringLiteral("no %1 (run scripts/mailservers/start)").arg(path);
        return std::nullopt;
    }
    MailServers s;
    s.workdir = v.value(QStringLiteral("QMAIL_WORKDIR"));
    s.host = v.value(QStringLiteral("MAIL_HOST"), s.host);
    s.pop3_port = v.value(QStringLiteral("POP3_PORT")).toInt();
    s.pop3s_port = v.value(QStringLiteral("POP3S_PORT")).toInt();
    s.imap_port = v.value(QStringLiteral("IMAP_PORT")).toInt();
    s.imaps_port = v.value(QStringLiteral("IMAPS_PORT")).toInt();
    s.smtp_port = v.value(QStringLiteral("SMTP_PORT")).toInt();
    s.submission_port = v.value(QStringLiteral("SUBMISSION_PORT")).toInt();
    s.smtps_port = v.value(QStringLiteral("SMTPS_PORT")).toInt();
    s.user1 = v.value(QStringLiteral("USER1"));
    s.pass1 = v.value(QStringLiteral("PASS1"));
    s.addr1 = v.value(QStringLiteral("ADDR1"));
    s.user2 = v.value(QStringLiteral("USER2"));
    s.pass2 = v.value(QStringLiteral("PASS2"));
    s.addr2 = v.value(QStringLiteral("ADDR2"));
    s.dovecot_log = v.value(QStringLiteral("DOVECOT_LOG"));
    s.postfix_log = v.value(QStringLiteral("POSTFIX_LOG"));
    if (s.workdir.isEmpty() || !s.pop3_port || !s.pop3s_port || !s.smtp_port ||
        !s.submission_port || !s.smtps_port || s.user1.isEmpty() || s.user2.isEmpty()) {
        *why = QStringLiteral("%1 is incomplete").arg(path);
        return std::nullopt;
    }
    if (v.value(QStringLiteral("DOVECOT_PID")).isEmpty() ||
        v.value(QStringLiteral("POSTFIX_PID")).isEmpty()) {
        *why = QStringLiteral("%1 says the servers were stopped").arg(path);
        return std::nullopt;
    }
    if (pop3_stat(s, s.user1, s.pass1).first < 0) {
        *why = QStringLiteral("no POP3 server answers on %1:%2").arg(s.host).arg(s.pop3_port);
        return std::nullopt;
    }
    return s;
}

bool mail_servers_required() { return qgetenv("QV_REQUIRE_SERVERS") == "1"; }

MailServerLock::MailServerLock(const MailServers& servers) {
    const QByteArray path = QFile::encodeName(servers.workdir + QStringLiteral("/.qv-tests.lock"));
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
}

MailServerLock::~MailServerLock() {
    if (fd_ >= 0) ::close(fd_);
}

void seed_message(const MailServers& servers, const QString& user, const QByteArray& content) {
    static std::atomic<int> counter{0};
    const QString dir = servers.maildir(user);
    // Dovecot numbers new mail by the time and the "M" part of the name: make both rise.
    const QString name = QStringLiteral("%1.M%2P%3.qvtest")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(++counter, 6, 10, QLatin1Char('0'))
                             .arg(::getpid());
    const QString temp = dir + QStringLiteral("/tmp/") + name;
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) return;
    file.close();
    struct stat owner {};
    if (::stat(QFile::encodeName(dir).constData(), &owner) == 0) {
        if (::chown(QFile::encodeName(temp).constData(), owner.st_uid, owner.st_gid) != 0) return;
    }
    QFile::rename(temp, dir + QStringLiteral("/new/") + name);
}

void empty_mailbox(const MailServers& servers, const QString& user) {
    for (const char* sub : {"/new", "/cur", "/tmp"}) {
        QDir dir(servers.maildir(user) + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) dir.remove(name);
    }
}

int maildir_count(const MailServers& servers, const QString& user) {
    int n = 0;
    for (const char* sub : {"/new", "/cur"}) {
        n += QDir(servers.maildir(user) + QLatin1String(sub)).entryList(QDir::Files).size();
    }
    return n;
}

bool wait_for_maildir(const MailServers& servers, const QString& user, int count, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (maildir_count(servers, user) < count) {
        if (timer.elapsed() > timeout_ms) return false;
        QThread::msleep(50);
    }
    return true;
}

std::vector<QByteArray> maildir_messages(const MailServers& servers, const QString& user) {
    std::vector<QByteArray> out;
    for (const char* sub : {"/new", "/cur"}) {
        QDir dir(servers.maildir(user) + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly)) out.push_back(f.readAll());
        }
    }
    return out;
}

QByteArray as_crlf(const QByteArray& lf_text) {
    QByteArray out = lf_text;
    out.replace("\r\n", "\n");
    out.replace("\n", "\r\n");
    return out;
}

std::pair<long long, long long> pop3_stat(const MailServers& servers, const QString& user,
                                          const QString& password) {
    PlainPop3 pop(servers, user, password);
    if (!pop.ok()) return {-1, -1};
    const QList<QByteArray> parts = pop.command("STAT").split(' ');
    if (parts.size() < 3 || parts[0] != "+OK") return {-1, -1};
    return {parts[1].toLongLong(), parts[2].toLongLong()};
}

std::vector<std::pair<int, QByteArray>> pop3_uidls(const MailServers& servers, const QString& user,
                                                   const QString& password) {
    std::vector<std::pair<int, QByteArray>> out;
    PlainPop3 pop(servers, user, password);
    if (!pop.ok() || !pop.command("UIDL").startsWith("+OK")) return out;
    for (const QByteArray& line : pop.body()) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 2) out.emplace_back(parts[0].toInt(), parts[1]);
    }
    return out;
}

bool ImapInbox::has_flag(quint32 uid, const QByteArray& flag) const {
    const auto at = std::find(uids.begin(), uids.end(), uid);
    return at != uids.end() && flags[size_t(at - uids.begin())].split(' ').contains(flag);
}

ImapInbox imap_inbox(const MailServers& servers, const QString& user, const QString& password) {
    PlainImap imap(servers, user, password);
    QList<QByteArray> lines;
    if (!imap.ok() || !imap.command("EXAMINE INBOX", &lines)) return {};
    ImapInbox inbox;
    quint32 exists = 0;
    for (const QByteArray& line : lines) {
        if (line.startsWith("* OK [UIDVALIDITY "))
            inbox.uidvalidity = number_after(line, "UIDVALIDITY");
        if (line.startsWith("* ") && line.endsWith(" EXISTS")) exists = number_after(line, "*");
    }
    lines.clear();
    if (exists > 0 && !imap.command("FETCH 1:* (UID FLAGS)", &lines)) return {};
    std::vector<std::pair<quint32, QByteArray>> found;
    for (const QByteArray& line : lines) {
        const qsizetype open = line.indexOf("FLAGS (");
        const qsizetype close = line.indexOf(')', open);
        if (!line.contains(" FETCH (") || open < 0 || close < 0) continue;
        found.emplace_back(number_after(line, "UID"), line.mid(open + 7, close - open - 7));
    }
    std::sort(found.begin(), found.end());
    for (auto& [uid, flags] : found) {
        inbox.uids.push_back(uid);
        inbox.flags.push_back(flags);
    }
    return inbox;
}

bool imap_flag_deleted(const MailServers& servers, const QString& user, const QString& password,
                       quint32 uid) {
    PlainImap imap(servers, user, password);
    return imap.ok() && imap.command("SELECT INBOX") &&
           imap.command("UID STORE " + QByteArray::number(uid) + " +FLAGS.SILENT (\\Deleted)");
}

void renumber_inbox(const MailServers& servers, const QString& user) {
    // The dovecot-uidvalidity files stay: from them Dovecot takes the next, higher value.
    // Without them it would start from the clock, which may give the old value again.
    QDir dir(servers.maildir(user));
    for (const QString& name :
         dir.entryList({QStringLiteral("dovecot-uidlist"), QStringLiteral("dovecot.index*")},
                       QDir::Files | QDir::Hidden)) {
        dir.remove(name);
    }
}

int count_log_lines(const QString& path, const std::vector<QByteArray>& texts) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    int n = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        bool all = true;
        for (const QByteArray& t : texts) all = all && line.contains(t);
        if (all) ++n;
    }
    return n;
}

int unused_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace qv::test
