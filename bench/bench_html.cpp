// HTML mail to text: the time html_to_text takes for each hostile body of about 10 MB
// (tests/support/hostile_html.h; the target is under a second each) and for a 200 KB
// newsletter of the usual kind (tests/data/html/newsletter.html). Prints the median of the
// rounds in wall-clock milliseconds and the length of the text that came out.
//
// Usage: qv_bench_html [ROUNDS=3] [ONLY_KIND]
#include "../tests/support/hostile_html.h"
#include "mail/html_text.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <time.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Timing {
    double median_ms = 0;      // wall clock
    double median_cpu_ms = 0;  // processor time of this thread (what a busy machine does not skew)
    qsizetype text_size = 0;
};

double cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

Timing time_it(const QString& html, int rounds) {
    std::vector<double> ms;
    std::vector<double> cpu;
    Timing t;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpu_start = cpu_ms();
        const QString text = qv::mail::html_to_text(html);
        cpu.push_back(cpu_ms() - cpu_start);
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        t.text_size = text.size();
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    t.median_ms = ms[ms.size() / 2];
    t.median_cpu_ms = cpu[cpu.size() / 2];
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

    QFile newsletter(QStringLiteral(QV_SOURCE_DIR "/tests/data/html/newsletter.html"));
    if (!newsletter.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(newsletter.fileName()));
        return 1;
    }
    const QString html = QString::fromUtf8(newsletter.readAll());
    const Timing n = time_it(html, rounds * 10);
    std::printf("%-32s %8s %8s\n", "", "wall", "cpu");
    std::printf("%-32s %8.1f %8.1f ms  %8lld characters of text (from %lld)\n", "newsletter 200 KB",
                n.median_ms, n.median_cpu_ms, static_cast<long long>(n.text_size),
                static_cast<long long>(html.size()));

    double worst = 0;
    const int only = argc > 2 ? atoi(argv[2]) : -1;
    for (int kind = 0; kind < qv::test::kHostileHtmlKinds; ++kind) {
        if (only >= 0 && kind != only) continue;
        const qv::test::HostileHtml hostile = qv::test::hostile_html(kind);
        const Timing t = time_it(hostile.html, rounds);
        worst = std::max(worst, t.median_ms);
        std::printf("%-32s %8.1f %8.1f ms  %8lld characters of text\n", hostile.name, t.median_ms,
                    t.median_cpu_ms, static_cast<long long>(t.text_size));
    }
    std::printf("slowest hostile body: %.1f ms (target: under 1000 ms)\n", worst);
    return 0;
}
