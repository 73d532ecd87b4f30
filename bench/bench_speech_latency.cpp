// How long a user waits for the first sound: time from OpenJTalkEngine::say() to the first audio
// handed to the output, for a short and a long text, on the speech thread as the program runs it.
#include "bench_audio.h"
#include "speech/openjtalk_engine.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

struct Run {
    double firstSoundMs;
    double totalMs;
};

}  // namespace

int main(int argc, char** argv) {
    ensureAudio();
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    const QString shortText = QStringLiteral("新着メールが３通あります。");
    const QString longText = QStringLiteral(
        "件名、来週の定例会議について。差出人、営業部の山田太郎さん。"
        "お疲れ様です。来週の定例会議ですが、会議室の都合により、火曜日の午後二時から"
        "第三会議室で行うことになりました。資料は前日までに共有フォルダへ置いておきますので、"
        "目を通しておいてください。ご不明な点があれば、遠慮なくご連絡ください。"
        "よろしくお願いいたします。");

    qv::OpenJTalkEngine engine;
    std::vector<std::pair<const char*, QString>> texts = {{"short", shortText}, {"long", longText}};
    std::thread speech([&] {
        QString why;
        if (!engine.open(&why)) {
            std::printf("Open JTalk cannot speak here: %s\n", qUtf8Printable(why));
            return;
        }
        std::printf("output: %s\n",
                    qUtf8Printable(QMediaDevices::defaultAudioOutput().description()));
        for (const auto& [label, text] : texts) {
            // Synthesis of the whole text at once, for comparison with the pipeline.
            QElapsedTimer t;
            t.start();
            QByteArray wav;
            engine.synthesise(text, &wav, &why);
            const double wholeMs = t.nsecsElapsed() / 1e6;
            const auto audio = qv::parse_wav(wav);
            std::vector<Run> runs;
            for (int i = 0; i < rounds; ++i) {
                t.restart();
                if (!engine.say(text, &why)) {
                    std::printf("%s: say failed: %s\n", label, qUtf8Printable(why));
                    break;
                }
                runs.push_back({engine.lastFirstSoundUs() / 1000.0, t.nsecsElapsed() / 1e6});
            }
            if (runs.empty()) continue;
            std::vector<double> first;
            for (const Run& r : runs) first.push_back(r.firstSoundMs);
            std::sort(first.begin(), first.end());
            std::printf(
                "%-5s %3d chars, %5.1f s of speech: first sound after say() median %.0f ms, "
                "min %.0f, max %.0f (whole text synthesised in one go: %.0f ms); say() took "
                "%.1f s\n",
                label, int(text.size()), audio ? audio->durationUs() / 1e6 : 0.0,
                first[first.size() / 2], first.front(), first.back(), wholeMs,
                runs.back().totalMs / 1000);
        }
    });
    speech.join();
    return 0;
}
