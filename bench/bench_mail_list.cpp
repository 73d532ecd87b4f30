// The mail list with big folders: filling it with 10,000 and 100,000 mails (time and memory),
// and ENTER on a mail with a 100 KB body (time until its first words reach the voice).
#include "bench_window.h"
#include "core/clock.h"
#include "core/opener.h"
#include "core/wait.h"
#include "mail/mail_component.h"
#include "mailbox/flex_grid.h"
#include "mailbox/mail_list.h"
#include "shell/main_window.h"
#include "speech/speech_channel.h"
#include "store/mail_store.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <malloc.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

class SilentEngine : public qv::SpeechEngine {
  public:
    QString name() const override { return QStringLiteral("silent"); }
    bool open(QString*) override { return true; }
    bool say(const QString&, QString*) override { return true; }
};

// Resident memory in MB: all of it, and the part that is the program's own (not pages of files
// it has mapped, such as the database).
struct Resident {
    double all = 0;
    double own = 0;
};

Resident resident() {
    Resident r;
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return r;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const double mb =
            line.mid(line.indexOf(':') + 1).trimmed().split(' ').front().toDouble() / 1024;
        if (line.startsWith("VmRSS:")) r.all = mb;
        if (line.startsWith("RssAnon:")) r.own = mb;
    }
    return r;
}

double ms_since(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// CPU time of the calling thread: on a machine shared with other work, the wall time also counts
// the waits for a core.
double thread_cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

bool seed_folder(qv::MailStore& store, const QString& folder, int count, int first_id) {
    if (!store.database().transaction()) return false;
    const QString body = QString(200, QChar(u'本'));
    for (int i = 0; i < count; ++i) {
        const QString date = qv::bench::seeded_date(i);
        if (!store.insertMail(date, QStringLiteral("m%1.eml").arg(first_id + i),
                              QStringLiteral(" 差出人%1 <sender%1@example.test>").arg(i % 500),
                              QStringLiteral("お知らせ 第%1号について").arg(i), body,
                              i % 5 == 0 ? QStringLiteral("/mail/a%1.mp3").arg(i) : QString())) {
            return false;
        }
        const int id = first_id + i;
        if (i % 3 != 0 && !store.markRead(id)) return false;
        if (!store.moveMail(id, folder)) return false;
    }
    return store.database().commit();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    {
        qv::MailStore seed;
        if (!seed.open(QDir(dir.path()).absoluteFilePath(qv::MailStore::fileName()))) return 1;
        QElapsedTimer t;
        t.start();
        if (!seed_folder(seed, QStringLiteral("一万"), 10000, 1) ||
            !seed_folder(seed, QStringLiteral("十万"), 100000, 10001)) {
            std::fprintf(stderr, "seeding failed: %s\n", qPrintable(seed.lastError()));
            return 1;
        }
        QString big;
        big.reserve(100000);
        while (big.size() < 100000)
            big += QStringLiteral("長い本文の一行です。👍🏽 e\u0301\r\n");
        big.truncate(100000);
        if (!seed.insertMail(QStringLiteral("2026/12/31 23:59:59"), QStringLiteral("big.eml"),
                             QStringLiteral(" 大きい <big@example.test>"),
                             QStringLiteral("100KBの本文"), big, QString()) ||
            !seed.moveMail(110001, QStringLiteral("大きな本文"))) {
            return 1;
        }
        std::printf("seeded 110,001 mails in %.0f ms\n", ms_since(t));
    }

    auto speech = std::make_unique<qv::SpeechChannel>(
        std::vector<qv::SpeechEngineFactory>{[] { return std::make_unique<SilentEngine>(); }});
    qv::bench::IdleComponent component;
    qv::SystemClock clock;
    qv::bench::NoOpener opener;
    qv::Waiter waiter;
    qv::MainWindow window(qv::Services{*speech, component, clock, opener, opener, waiter, waiter,
                                       dir.path(), dir.path()});
    if (!window.store().open(QDir(dir.path()).absoluteFilePath(qv::MailStore::fileName()))) {
        return 1;
    }
    window.show();
    QApplication::processEvents();
    qv::MailList& list = *window.parts().mail_list;
    qv::FlexGrid* grid = window.widgets().MSFlexGrid1;

    struct Case {
        QString folder;
        int mails;
        double target_ms;
    };
    for (const Case& c :
         {Case{QStringLiteral("一万"), 10000, 100}, Case{QStringLiteral("十万"), 100000, 1000}}) {
        std::vector<double> fill, painted, cpu;
        Resident before, after;
        for (int r = 0; r < rounds; ++r) {
            list.set_current_folder(QStringLiteral("空"));
            list.init_mail_list();
            list.read_mail_from_db();
            QApplication::processEvents();
            if (r == 0) {
                malloc_trim(0);
                before = resident();
            }
            QElapsedTimer t;
            const double cpu0 = thread_cpu_ms();
            t.start();
            list.init_mail_list();
            list.set_current_folder(c.folder);
            list.read_mail_from_db();
            fill.push_back(ms_since(t));
            cpu.push_back(thread_cpu_ms() - cpu0);
            QApplication::processEvents();
            painted.push_back(ms_since(t));
            if (r == 0) after = resident();
            if (grid->rowCount() != c.mails + 1) {
                std::fprintf(stderr, "the list shows %d rows, not %d\n", grid->rowCount() - 1,
                             c.mails);
                return 1;
            }
        }
        {
            QElapsedTimer q;
            q.start();
            const auto rows = window.store().mailsInFolder(c.folder);
            std::printf("  (the database query alone: %zu rows in %.1f ms)\n", rows.size(),
                        ms_since(q));
        }
        std::sort(fill.begin(), fill.end());
        std::sort(cpu.begin(), cpu.end());
        std::sort(painted.begin(), painted.end());
        std::printf(
            "fill %d mails (%d rounds): median %.1f ms, best %.1f ms, worst %.1f ms (CPU median "
            "%.1f ms); until painted median %.1f ms (target <= %.0f ms); first fill: resident "
            "%.1f MB -> %.1f MB, the program's own memory %.1f MB -> %.1f MB (+%.1f MB)\n",
            c.mails, rounds, fill[fill.size() / 2], fill.front(), fill.back(), cpu[cpu.size() / 2],
            painted[painted.size() / 2], c.target_ms, before.all, after.all, before.own, after.own,
            after.own - before.own);
    }

    // ENTER on a mail with a 100 KB body.
    list.set_current_folder(QStringLiteral("大きな本文"));
    list.init_mail_list();
    list.read_mail_from_db();
    window.activateWindow();
    grid->setFocus();
    QApplication::processEvents();
    speech->waitUntilIdle(10000);

    std::vector<double> first, firstBody, handler;
    int pieces = 0;
    for (int r = 0; r < rounds; ++r) {
        std::atomic<qint64> subjectAt{-1}, bodyAt{-1};
        std::atomic<int> seen{0};
        QElapsedTimer t;
        speech->setHandOffHook([&](const QString&) {
            const int n = seen.fetch_add(1);
            if (n == 0) subjectAt = t.nsecsElapsed();
            if (n == 1) bodyAt = t.nsecsElapsed();
        });
        grid->setCurrentCell(1, 1);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        t.start();
        QApplication::sendEvent(grid, &press);
        handler.push_back(ms_since(t));
        speech->waitUntilIdle(10000);
        speech->setHandOffHook(nullptr);
        first.push_back(double(subjectAt) / 1e6);
        firstBody.push_back(double(bodyAt) / 1e6);
        if (seen < 2) {
            std::fprintf(stderr, "the body was not heard (%d utterances)\n", int(seen));
            return 1;
        }
        pieces = seen - 1;
    }
    std::sort(first.begin(), first.end());
    std::sort(firstBody.begin(), firstBody.end());
    std::sort(handler.begin(), handler.end());
    std::printf(
        "ENTER on a 100,000-character body (%d rounds, median): subject reaches the voice after "
        "%.2f ms, the first 100 characters of the body after %.2f ms (target <= 20 ms); the "
        "whole command (%d pieces queued) takes %.1f ms\n",
        rounds, first[first.size() / 2], firstBody[firstBody.size() / 2], pieces,
        handler[handler.size() / 2]);
    speech->shutdown(2000);
    return 0;
}
