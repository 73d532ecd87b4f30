// Receiving speed against the real test servers (scripts/mailservers/start): 1,000 mails of about
// 5 KB are seeded into user2's Maildir, then timed in each round:
//   POP3  curl RETR of every message in one session (pop3://.../[1-N], STLS like ours), and
//         curl RETR + DELE; ours: RcvMail SAVEALLD with every batch stored in the mail database
//         (read with ReadMail, one row each) before the DELEs and the QUIT that commits them;
//   IMAPS curl fetching every message over one imaps:// connection (.../INBOX;UID=[a-b]); ours:
//         RcvMail SAVEALL (an IMAP account keeps its mail) with every batch stored the same way.
// Prints the median of the rounds (wall and CPU time), the ratios to curl (the targets are at
// most 1.5) and the peak memory of this process.
//
// Usage: qv_bench_receive [MESSAGES=1000] [BODY_BYTES=5000] [ROUNDS=3] [BATCH=the program's]
//        QV_MAIL_SERVERS_ENV names the servers' env file (default /tmp/qmail-servers/env).
#include "core/clock.h"
#include "core/wait.h"
#include "mail/curl_mail_component.h"
#include "mail/imap_session.h"
#include "mail/server_address.h"
#include "receive/mail_saver.h"
#include "store/mail_store.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMetaObject>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

class NoPause : public qv::Pauser {
  public:
    void pause(int) override {}
};

QHash<QString, QString> read_env(const QString& path) {
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return values;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0 && !line.startsWith('#')) {
            values.insert(QString::fromUtf8(line.left(eq).trimmed()),
                          QString::fromUtf8(line.mid(eq + 1).trimmed()));
        }
    }
    return values;
}

// Writes `count` mails into Maildir/new as a delivery would, owned like the Maildir.
bool seed(const QString& maildir, int count, int body_bytes) {
    struct stat owner {};
    if (::stat(QFile::encodeName(maildir).constData(), &owner) != 0) return false;
    const QByteArray sender = QStringLiteral("送信テスト").toUtf8().toBase64();
    const QByteArray filler = QByteArray(75, 'x') + '\n';
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    // Rounds can follow each other within a second: a name Dovecot saw expunged must not come
    // back (it would count it as reappeared mail).
    static int round = 0;
    ++round;
    for (int i = 1; i <= count; ++i) {
        QByteArray m = "From: =?UTF-8?B?" + sender + "?= <sender@example.test>\n" +
                       "To: user2@example.test\nSubject: =?UTF-8?B?" +
                       QStringLiteral("ベンチマーク %1 号").arg(i).toUtf8().toBase64() +
                       "?=\nDate: Tue, 01 Dec 2026 10:00:00 +0900\nMessage-ID: <bench." +
                       QByteArray::number(now) + '.' + QByteArray::number(i) +
                       "@example.test>\nMIME-Version: 1.0\n"
                       "Content-Type: text/plain; charset=UTF-8\n"
                       "Content-Transfer-Encoding: 8bit\n\n" +
                       QStringLiteral("%1 番目のメッセージです。\n").arg(i).toUtf8();
        while (m.size() < body_bytes) m += filler;
        const QString name = QStringLiteral("%1.M%2P%3R%4.bench")
                                 .arg(now)
                                 .arg(i, 6, 10, QLatin1Char('0'))
                                 .arg(::getpid())
                                 .arg(round);
        const QString temp = maildir + QStringLiteral("/tmp/") + name;
        QFile f(temp);
        if (!f.open(QIODevice::WriteOnly) || f.write(m) != m.size()) return false;
        f.close();
        if (::chown(QFile::encodeName(temp).constData(), owner.st_uid, owner.st_gid) != 0) {
            return false;
        }
        if (!QFile::rename(temp, maildir + QStringLiteral("/new/") + name)) return false;
    }
    return true;
}

void empty(const QString& maildir) {
    for (const char* sub : {"/new", "/cur", "/tmp"}) {
        QDir dir(maildir + QLatin1String(sub));
        for (const QString& name : dir.entryList(QDir::Files)) dir.remove(name);
    }
}

struct Usage {
    double wall;
    double self;      // CPU seconds of this process
    double children;  // CPU seconds of finished child processes (curl)
};

double seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

Usage usage_now() {
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return {now.tv_sec + now.tv_nsec / 1e9, seconds(self.ru_utime) + seconds(self.ru_stime),
            seconds(children.ru_utime) + seconds(children.ru_stime)};
}

bool run_curl(const QStringList& arguments) {
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    curl.start(QStringLiteral("curl"), arguments);
    if (!curl.waitForFinished(300000) || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed (exit %d)\n", curl.exitCode());
        return false;
    }
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One receive of ours into a fresh mail directory and database, every batch stored as it comes.
struct Ours {
    double wall = 0;
    double cpu = 0;
    bool ok = false;
};

Ours receive_and_store(qv::CurlMailComponent& mail, const qv::Clock& clock, const QString& server,
                       const QString& user, const QString& password, const QString& command,
                       int messages) {
    QTemporaryDir dir;
    // The program has its database open before it receives.
    qv::MailStore store;
    if (!store.open(QDir(dir.path()).filePath(qv::MailStore::fileName()))) {
        std::fprintf(stderr, "cannot open the database: %s\n", qPrintable(store.lastError()));
        return {};
    }
    qv::Waiter waiter;
    qv::MailSaver saver(store, mail, clock, waiter);
    // As the program does it: the transport on a thread of its own while this one waits, and
    // every batch stored here, where the database connection lives.
    QObject here;
    int stored = 0;
    mail.setBatchSink([&](const QStringList& names) {
        bool ok = false;
        QMetaObject::invokeMethod(
            &here,
            [&] {
                stored += saver.store_files(names, dir.path());
                ok = saver.lastError().isEmpty();
            },
            Qt::BlockingQueuedConnection);
        return ok;
    });
    qv::MailArray saved;
    const Usage start = usage_now();
    waiter.run([&] { saved = mail.RcvMail(server, user, password, command, dir.path()); });
    const Usage end = usage_now();
    mail.setBatchSink(nullptr);
    if (!saved || saved->size() != messages || stored != messages) {
        std::fprintf(stderr, "%s: %d of %d stored: %s / %s\n", qPrintable(command), stored,
                     messages, qPrintable(mail.lastError()), qPrintable(saver.lastError()));
        return {};
    }
    return {end.wall - start.wall, end.self - start.self, true};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int body_bytes = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const int batch = argc > 4 ? std::atoi(argv[4]) : 0;

    const QByteArray env_name = qgetenv("QV_MAIL_SERVERS_ENV");
    const QString env_path = env_name.isEmpty() ? QStringLiteral("/tmp/qmail-servers/env")
                                                : QString::fromLocal8Bit(env_name);
    const QHash<QString, QString> env = read_env(env_path);
    if (env.value(QStringLiteral("DOVECOT_PID")).isEmpty()) {
        std::fprintf(stderr, "no running servers in %s: run scripts/mailservers/start\n",
                     qPrintable(env_path));
        return 2;
    }
    const QString workdir = env.value(QStringLiteral("QMAIL_WORKDIR"));
    const QString maildir = env.value(QStringLiteral("MAILDIR_USER2"));
    const QString user = env.value(QStringLiteral("USER2"));
    const QString password = env.value(QStringLiteral("PASS2"));
    const QString server =
        QStringLiteral("pop3://127.0.0.1:%1").arg(env.value(QStringLiteral("POP3_PORT")));
    const QString imaps =
        QStringLiteral("imaps://127.0.0.1:%1").arg(env.value(QStringLiteral("IMAPS_PORT")));

    // The tests share these mailboxes: wait for them to finish.
    const int lock =
        ::open(QFile::encodeName(workdir + QStringLiteral("/.qv-tests.lock")).constData(),
               O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock >= 0) ::flock(lock, LOCK_EX);

    NoPause pause;
    qv::CurlMailComponent mail(pause);
    if (batch > 0) mail.setReceiveBatch(batch);
    qv::SystemClock clock;
    std::vector<double> curl_wall, curl_cpu, curl_dele_wall, pop_wall, pop_cpu, curl_imap_wall,
        curl_imap_cpu, imap_wall, imap_cpu;
    qint64 bytes = 0;
    QTemporaryDir scratch;
    const auto ready = [&] {
        empty(maildir);
        if (!seed(maildir, messages, body_bytes)) {
            std::fprintf(stderr, "could not seed %s\n", qPrintable(maildir));
            return false;
        }
        // Dovecot indexes fresh mail on the first look; neither side should pay for that.
        const qv::MailArray stat =
            mail.RcvMail(server, user, password, QStringLiteral("STAT"), scratch.path());
        if (!stat || !stat->value(0).startsWith(QString::number(messages) + QLatin1Char(' '))) {
            std::fprintf(stderr, "STAT failed: %s\n", qPrintable(mail.lastError()));
            return false;
        }
        bytes = stat->value(0).section(QLatin1Char(' '), 1).toLongLong();
        return true;
    };
    // The UIDs of the INBOX, which one imaps:// URL with a range names for curl.
    const auto inbox_range = [&](QString* range) {
        QString error;
        const auto address =
            qv::mail::parse_server_address(imaps, qv::mail::MailProtocol::Imap, &error);
        qv::mail::ImapSession session(*address, user, password, {});
        qv::mail::ImapSession::Inbox inbox;
        if (!session.select(&inbox) || static_cast<int>(inbox.uids.size()) != messages ||
            inbox.uids.back() - inbox.uids.front() + 1 != inbox.uids.size()) {
            std::fprintf(stderr, "the INBOX is not as seeded: %s\n", qPrintable(session.error()));
            return false;
        }
        session.logout();
        *range = QStringLiteral("[%1-%2]").arg(inbox.uids.front()).arg(inbox.uids.back());
        return true;
    };
    const QString login = user + QLatin1Char(':') + password;
    const QString all = server + QStringLiteral("/[1-%1]").arg(messages);
    for (int round = 0; round < rounds; ++round) {
        // POP3
        if (!ready()) return 1;
        const Usage curl_start = usage_now();
        if (!run_curl({QStringLiteral("-s"), QStringLiteral("--ssl"), QStringLiteral("-u"), login,
                       all})) {
            return 1;
        }
        const Usage curl_end = usage_now();
        curl_wall.push_back(curl_end.wall - curl_start.wall);
        curl_cpu.push_back(curl_end.children - curl_start.children);
        const Ours pop = receive_and_store(mail, clock, server, user, password,
                                           QStringLiteral("SAVEALLD"), messages);
        if (!pop.ok) return 1;
        pop_wall.push_back(pop.wall);
        pop_cpu.push_back(pop.cpu);
        // What the server's own deleting costs: curl fetching and deleting in one session.
        if (!ready()) return 1;
        const Usage dele_start = usage_now();
        if (!run_curl({QStringLiteral("-s"), QStringLiteral("--ssl"), QStringLiteral("-u"), login,
                       all, QStringLiteral("--next"), QStringLiteral("-s"), QStringLiteral("--ssl"),
                       QStringLiteral("-I"), QStringLiteral("-X"), QStringLiteral("DELE"),
                       QStringLiteral("-u"), login, all})) {
            return 1;
        }
        curl_dele_wall.push_back(usage_now().wall - dele_start.wall);

        // IMAPS: the same mails, fetched by curl over one connection, then received by ours.
        if (!ready()) return 1;
        QString range;
        if (!inbox_range(&range)) return 1;
        const Usage imap_start = usage_now();
        if (!run_curl({QStringLiteral("-s"), QStringLiteral("-u"), login,
                       imaps + QStringLiteral("/INBOX;UID=") + range})) {
            return 1;
        }
        const Usage imap_end = usage_now();
        curl_imap_wall.push_back(imap_end.wall - imap_start.wall);
        curl_imap_cpu.push_back(imap_end.children - imap_start.children);
        const Ours imap = receive_and_store(mail, clock, imaps, user, password,
                                            QStringLiteral("SAVEALL"), messages);
        if (!imap.ok) return 1;
        imap_wall.push_back(imap.wall);
        imap_cpu.push_back(imap.cpu);
    }
    empty(maildir);

    const double c = median(curl_wall);
    const double cd = median(curl_dele_wall);
    const double p = median(pop_wall);
    const double ci = median(curl_imap_wall);
    const double i = median(imap_wall);
    rusage peak{};
    ::getrusage(RUSAGE_SELF, &peak);
    std::printf("receive %d mails, %.2f MB on the wire, median of %d rounds (127.0.0.1)\n",
                messages, bytes / 1e6, rounds);
    std::printf("                                          wall      CPU\n");
    std::printf("  POP3 (STLS)\n");
    std::printf("  curl RETR, one session                %6.3f s  %6.3f s\n", c, median(curl_cpu));
    std::printf("  curl RETR + DELE + QUIT               %6.3f s\n", cd);
    std::printf("  SAVEALLD, stored before the DELEs     %6.3f s  %6.3f s\n", p, median(pop_cpu));
    std::printf("  ratio to curl RETR + DELE             %6.2fx  (target <= 1.5x, aim 1.2x)\n",
                cd > 0 ? p / cd : 0);
    std::printf("  ratio to curl RETR                    %6.2fx\n", c > 0 ? p / c : 0);
    std::printf("  IMAPS\n");
    std::printf("  curl UID FETCH, one connection        %6.3f s  %6.3f s\n", ci,
                median(curl_imap_cpu));
    std::printf("  SAVEALL, every batch stored           %6.3f s  %6.3f s\n", i, median(imap_cpu));
    std::printf("  ratio to curl                         %6.2fx  (target <= 1.5x)\n",
                ci > 0 ? i / ci : 0);
    std::printf("  peak memory (max RSS)                 %6.1f MB\n", peak.ru_maxrss / 1024.0);
    return 0;
}
