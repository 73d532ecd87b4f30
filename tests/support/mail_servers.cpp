#include "support/mail_servers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>

namespace qv::test {
namespace {

// A blocking client on a plain port of 127.0.0.1, independent of the code under test, for
// servers that speak in CRLF-terminated lines.
class PlainClient : public QTcpSocket {
  public:
    explicit PlainClient(int port) {
        connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        waitForConnected(15000);
    }
    ~PlainClient() override {
        if (!goodbye_.isEmpty()) command(goodbye_);
    }
    // The next line without its CRLF; null when the connection ends or stays silent.
    QByteArray line() {
        while (!canReadLine()) {
            if (!waitForReadyRead(15000)) return {};
        }
        return readLine().chopped(2);
    }
    QByteArray command(const QByteArray& text) {
        write(text + "\r\n");
        return line();
    }
    // POP3 on the plain port (USER/PASS).
    bool pop3_login(const QString& user, const QString& password) {
        const bool in = line().startsWith("+OK") &&
                        command("USER " + user.toUtf8()).startsWith("+OK") &&
                        command("PASS " + password.toUtf8()).startsWith("+OK");
        goodbye_ = in ? "QUIT" : "";
        return in;
    }
    // An IMAP command; the untagged answers until the tagged one. True on OK. Answers with
    // literals are beyond it: it asks for none.
    bool imap(const QByteArray& text, QList<QByteArray>* untagged = nullptr) {
        const QByteArray tag = 't' + QByteArray::number(++tags_) + ' ';
        for (QByteArray l = command(tag + text); !l.isNull(); l = line()) {
            if (l.startsWith(tag)) return l.mid(tag.size()).startsWith("OK");
            if (untagged) untagged->append(l);
        }
        return false;
    }
    // IMAP on the plain port (LOGIN, which the test Dovecot allows without TLS).
    bool imap_login(const QString& user, const QString& password) {
        const bool in = line().startsWith("* OK") &&
                        imap("LOGIN \"" + user.toUtf8() + "\" \"" + password.toUtf8() + '"');
        goodbye_ = in ? "t0 LOGOUT" : "";
        return in;
    }

  private:
    int tags_ = 0;
    QByteArray goodbye_;  // what ends the session politely
};

// The number that follows `word` and a space in an IMAP answer line; 0 if there is none.
quint32 number_after(const QByteArray& line, const char* word) {
    return QRegularExpression(QRegularExpression::escape(QLatin1String(word)) +
                              QLatin1String(" (\\d+)"))
        .match(QString::fromLatin1(line))
        .captured(1)
        .toUInt();
}

}  // namespace

QString MailServers::maildir(const QString& user) const {
    return workdir + QStringLiteral("/mail/") + user + QStringLiteral("/Maildir");
}

std::optional<MailServers> load_mail_servers(QString* why) {
    const QByteArray env_path = qgetenv("QV_MAIL_SERVERS_ENV");
    const QString path = env_path.isEmpty() ? QStringLiteral("/tmp/qmail-servers/env")
                                            : QString::fromLocal8Bit(env_path);
    const QSettings v(path, QSettings::IniFormat);
    if (v.allKeys().isEmpty()) {
        *why = QStringLiteral("no %1 (run scripts/mailservers/start)").arg(path);
        return std::nullopt;
    }
    const auto text = [&v](const char* key) { return v.value(QLatin1String(key)).toString(); };
    const auto number = [&v](const char* key) { return v.value(QLatin1String(key)).toInt(); };
    MailServers s{
        text("QMAIL_WORKDIR"), text("MAIL_HOST"),    number("POP3_PORT"), number("POP3S_PORT"),
        number("IMAP_PORT"),   number("IMAPS_PORT"), number("SMTP_PORT"), number("SUBMISSION_PORT"),
        number("SMTPS_PORT"),  text("USER1"),        text("PASS1"),       text("ADDR1"),
        text("USER2"),         text("PASS2"),        text("ADDR2"),       text("DOVECOT_LOG"),
        text("POSTFIX_LOG")};
    if (s.workdir.isEmpty() || s.host.isEmpty() || !s.pop3_port || !s.pop3s_port || !s.imap_port ||
        !s.imaps_port || !s.smtp_port || !s.submission_port || !s.smtps_port || s.user1.isEmpty() ||
        s.user2.isEmpty()) {
        *why = QStringLiteral("%1 is incomplete (restart scripts/mailservers/start)").arg(path);
        return std::nullopt;
    }
    if (text("DOVECOT_PID").isEmpty() || text("POSTFIX_PID").isEmpty()) {
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
    return QTest::qWaitFor([&] { return maildir_count(servers, user) >= count; }, timeout_ms);
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
    PlainClient pop(servers.pop3_port);
    const QList<QByteArray> parts =
        pop.pop3_login(user, password) ? pop.command("STAT").split(' ') : QList<QByteArray>();
    if (parts.size() < 3 || parts[0] != "+OK") return {-1, -1};
    return {parts[1].toLongLong(), parts[2].toLongLong()};
}

std::vector<std::pair<int, QByteArray>> pop3_uidls(const MailServers& servers, const QString& user,
                                                   const QString& password) {
    std::vector<std::pair<int, QByteArray>> out;
    PlainClient pop(servers.pop3_port);
    if (!pop.pop3_login(user, password) || !pop.command("UIDL").startsWith("+OK")) return out;
    for (QByteArray l = pop.line(); !l.isNull() && l != "."; l = pop.line()) {
        const QList<QByteArray> parts = l.split(' ');
        if (parts.size() >= 2) out.emplace_back(parts[0].toInt(), parts[1]);
    }
    return out;
}

bool ImapInbox::has_flag(quint32 uid, const QByteArray& flag) const {
    const auto at = std::find(uids.begin(), uids.end(), uid);
    return at != uids.end() && flags[size_t(at - uids.begin())].split(' ').contains(flag);
}

ImapInbox imap_inbox(const MailServers& servers, const QString& user, const QString& password) {
    PlainClient imap(servers.imap_port);
    QList<QByteArray> lines;
    if (!imap.imap_login(user, password) || !imap.imap("EXAMINE INBOX", &lines)) return {};
    ImapInbox inbox;
    for (const QByteArray& line : lines) {
        if (line.startsWith("* OK [UIDVALIDITY "))
            inbox.uidvalidity = number_after(line, "UIDVALIDITY");
    }
    lines.clear();
    // UIDs come in ascending order, as the messages do.
    if (!imap.imap("UID FETCH 1:* (FLAGS)", &lines)) return {};
    for (const QByteArray& line : lines) {
        const qsizetype open = line.indexOf("FLAGS (");
        const qsizetype close = line.indexOf(')', open);
        if (!line.contains(" FETCH (") || open < 0 || close < 0) continue;
        inbox.uids.push_back(number_after(line, "UID"));
        inbox.flags.push_back(line.mid(open + 7, close - open - 7));
    }
    return inbox;
}

bool imap_flag_deleted(const MailServers& servers, const QString& user, const QString& password,
                       quint32 uid) {
    PlainClient imap(servers.imap_port);
    return imap.imap_login(user, password) && imap.imap("SELECT INBOX") &&
           imap.imap("UID STORE " + QByteArray::number(uid) + " +FLAGS.SILENT (\\Deleted)");
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
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

}  // namespace qv::test
