// How fast Ctrl alone silences the voice: from the Ctrl release reaching the program to the
// engine having stopped its audio output (the utterance over, the queue empty), with Open JTalk
// in the middle of a long text, as the program runs it.
#include "bench_audio.h"
#include "speech/openjtalk_engine.h"
#include "speech/speech_channel.h"
#include "speech/speech_keys.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    ensureAudio();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    std::atomic<qv::OpenJTalkEngine*> engine{nullptr};
    qv::SpeechChannel speech({[&engine] {
        auto e = std::make_unique<qv::OpenJTalkEngine>();
        engine = e.get();
        return e;
    }});
    QElapsedTimer clock;
    qint64 stopCalledNs = 0;
    qv::SpeechStopKey key([&] {
        speech.silence();
        stopCalledNs = clock.nsecsElapsed();
    });
    QWidget window;
    window.show();

    const QString text =
        QStringLiteral("受信フォルダーには未読のメールが二十通あります。一通目は会議の案内です。")
            .repeated(6);
    speech.speak(QStringLiteral("あ"));
    if (!speech.waitUntilIdle(30000) || speech.engineName() != QLatin1String("openjtalk")) {
        std::printf("Open JTalk cannot speak here (engine: %s); nothing measured\n",
                    qUtf8Printable(speech.engineName()));
        return 1;
    }

    std::atomic<int> handed{0};
    speech.setHandOffHook([&](const QString& t) {
        if (t == text) ++handed;
    });
    std::vector<double> toStopCall, toSilence;
    for (int i = 0; i < rounds; ++i) {
        const int before = handed.load();
        speech.speak(text);
        speech.speak(QStringLiteral("まだ続きがあります"));
        // Wait until this utterance is really sounding (its synthesis takes far longer than the
        // engine needs to forget the previous one's figure), then let it play a little.
        QElapsedTimer wait;
        wait.start();
        while (handed.load() == before && wait.elapsed() < 20000) QThread::msleep(1);
        QThread::msleep(20);
        while (engine.load()->lastFirstSoundUs() < 0 && wait.elapsed() < 20000) {
            QThread::msleep(5);
        }
        QThread::msleep(300 + 37 * (i % 7));

        QKeyEvent press(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Control, Qt::NoModifier);
        QApplication::sendEvent(&window, &press);
        clock.start();
        QApplication::sendEvent(&window, &release);
        const bool idle = speech.waitUntilIdle(5000);
        const qint64 silentNs = clock.nsecsElapsed();
        if (!idle || speech.pending() != 0) {
            std::printf("round %d: the voice did not stop within 5 s\n", i);
            return 1;
        }
        toStopCall.push_back(double(stopCalledNs) / 1e6);
        toSilence.push_back(double(silentNs) / 1e6);
        // The engine's firstSound resets with the next say().
        QThread::msleep(50);
    }
    std::printf("Ctrl release -> engine told to stop: median %.3f ms, max %.3f ms\n",
                percentile(toStopCall, 0.5), percentile(toStopCall, 1.0));
    std::printf(
        "Ctrl release -> audio output stopped, queue empty (%d rounds): median %.1f ms, "
        "p90 %.1f ms, max %.1f ms (target <= 50 ms)\n",
        rounds, percentile(toSilence, 0.5), percentile(toSilence, 0.9), percentile(toSilence, 1.0));
    return 0;
}
