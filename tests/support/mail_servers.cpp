#include "support/mail_servers.h"

#include "support/files.h"

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

// A blocking client of a line protocol on a plain port, independent of the code under test.
class PlainClient : public QTcpSocket {
  public:
    explicit PlainClient(int port) {
        connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
        waitForConnected(15000);
    }
    // The next line without its CRLF; null when the connection ends or stays silent.
    QByteArray line() {
        while (!canReadLine() && waitForReadyRead(15000)) continue;
        return canReadLine() ? readLine().chopped(2) : QByteArray();
    }
    QByteArray command(const QByteArray& text) {
        write(text + "\r\n");
        return line();
    }
    bool pop3_login(const QString& user, const QString& password) {
        return line().startsWith("+OK") && command("USER " + user.toUtf8()).startsWith("+OK") &&
               command("PASS " + password.toUtf8()).startsWith("+OK");
    }
    // An IMAP command (never one answered with literals) and its untagged answers; true on OK.
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
        return line().startsWith("* OK") &&
               imap("LOGIN \"" + user.toUtf8() + "\" \"" + password.toUtf8() + '"');
    }

  private:
    int tags_ = 0;
};

// The number that follows `word` and a space in an IMAP answer line; 0 if there is none.
quint32 number_after(const QByteArray& line, const char* word) {
    const QRegularExpression number(QLatin1String(word) + QLatin1String(" (\\d+)"));
    return number.match(QString::fromLatin1(line)).captured(1).toUInt();
}

}  // namespace

std::optional<MailServers> load_mail_servers(QString* why) {
    const QString path =
        qEnvironmentVariable("QV_MAIL_SERVERS_ENV", QStringLiteral("/tmp/qmail-servers/env"));
    const QSettings v(path, QSettings::IniFormat);
    const auto fail = [why](const QString& reason) {
        *why = reason;
        return std::nullopt;
    };
    if (v.allKeys().isEmpty()) return fail(path + QStringLiteral(" is missing: start the servers"));
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
        return fail(path + QStringLiteral(" is incomplete: restart the servers"));
    }
    if (pop3_stat(s, s.user1, s.pass1).first < 0)
        return fail(QStringLiteral("no POP3 server answers"));
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
    if (!write_file(temp, content)) return;
    struct stat owner {};  // the Maildir's owner, so that Dovecot may move and flag the file
    if (::stat(QFile::encodeName(dir).constData(), &owner) == 0 &&
        ::chown(QFile::encodeName(temp).constData(), owner.st_uid, owner.st_gid) == 0)
        QFile::rename(temp, dir + QStringLiteral("/new/") + name);
}

void empty_mailbox(const MailServers& servers, const QString& user) {
    for (const char* sub : {"/new", "/cur", "/tmp"}) {
        QDir dir(servers.maildir(user) + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) dir.remove(name);
    }
}

static QFileInfoList message_files(const MailServers& servers, const QString& user) {
    return QDir(servers.maildir(user) + QStringLiteral("/new")).entryInfoList(QDir::Files) +
           QDir(servers.maildir(user) + QStringLiteral("/cur")).entryInfoList(QDir::Files);
}

int maildir_count(const MailServers& servers, const QString& user) {
    return static_cast<int>(message_files(servers, user).size());
}

bool wait_for_maildir(const MailServers& servers, const QString& user, int count, int timeout_ms) {
    return QTest::qWaitFor([&] { return maildir_count(servers, user) >= count; }, timeout_ms);
}

std::vector<QByteArray> maildir_messages(const MailServers& servers, const QString& user) {
    std::vector<QByteArray> out;
    for (const QFileInfo& file : message_files(servers, user))
        out.push_back(file_bytes(file.filePath()));
    return out;
}

QByteArray as_crlf(const QByteArray& lf_text) {
    return QByteArray(lf_text).replace("\r\n", "\n").replace("\n", "\r\n");
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
    for (const QByteArray& line : lines)
        if (line.startsWith("* OK [UIDVALIDITY "))
            inbox.uidvalidity = number_after(line, "UIDVALIDITY");
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
                       QDir::Files | QDir::Hidden))
        dir.remove(name);
}

int count_log_lines(const QString& path, const std::vector<QByteArray>& texts) {
    const QList<QByteArray> lines = file_bytes(path).split('\n');
    return static_cast<int>(std::ranges::count_if(lines, [&](const QByteArray& l) {
        return std::ranges::all_of(texts, [&](const auto& t) { return l.contains(t); });
    }));
}

int unused_port() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

}  // namespace qv::test
