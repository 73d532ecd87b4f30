#include "speech/speech_channel.h"
#include "core/wait.h"
#include "support/fakes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace qv;

namespace {

// Keeps what it is handed, in order; each utterance can be made to take a while.
class ListeningEngine : public SpeechEngine {
  public:
    struct Shared {
        std::mutex mutex;
        QStringList heard;
        std::atomic<int> delayMs{0};
    };
    explicit ListeningEngine(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
    QString name() const override { return QStringLiteral("listening"); }
    bool open(QString*) override { return true; }
    bool say(const QString& text, QString*) override {
        if (int d = s_->delayMs.load()) QThread::msleep(d);
        std::lock_guard lock(s_->mutex);
        s_->heard << text;
        return true;
    }

  private:
    std::shared_ptr<Shared> s_;
};

std::vector<SpeechEngineFactory> listening(std::shared_ptr<ListeningEngine::Shared> s) {
    return {[s] { return std::make_unique<ListeningEngine>(s); }};
}

}  // namespace

TEST(SpeechChannel, NormalisesHyphensAndEqualsOnly) {
    EXPECT_EQ(SpeechChannel::normalise(QStringLiteral("a-b=c--d")), QStringLiteral("a b c  d"));
    const QString untouched = QStringLiteral("メール：「件名」\r\n本文、ー～！");
    EXPECT_EQ(SpeechChannel::normalise(untouched), untouched);
    EXPECT_EQ(SpeechChannel::normalise(QStringLiteral("==")).size(), 2);
}

TEST(SpeechChannel, IgnoresEmptyTextAndSaysTheRestInCallOrder) {
    auto shared = std::make_shared<ListeningEngine::Shared>();
    SpeechChannel channel(listening(shared));
    channel.speak(QString());
    channel.speak(QStringLiteral("1-2"));
    channel.speak(QString());
    channel.speak(QStringLiteral("三"));
    ASSERT_TRUE(channel.waitUntilIdle(5000));
    std::lock_guard lock(shared->mutex);
    EXPECT_EQ(shared->heard, (QStringList{QStringLiteral("1 2"), QStringLiteral("三")}));
    EXPECT_EQ(channel.spoken(), shared->heard);
}

TEST(SpeechChannel, ThousandRapidCallsAreSaidInOrderAndLogged) {
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("speech.log"));
    auto shared = std::make_shared<ListeningEngine::Shared>();
    SpeechChannel channel(listening(shared), log);
    QStringList expected;
    for (int i = 0; i < 1000; ++i) {
        expected << QStringLiteral("発話%1").arg(i);
        channel.speak(expected.back());
    }
    channel.speak(QStringLiteral("一行目\r\n二行目"));
    expected << QStringLiteral("一行目\r\n二行目");
    ASSERT_TRUE(channel.waitUntilIdle(10000));
    {
        std::lock_guard lock(shared->mutex);
        EXPECT_EQ(shared->heard, expected);
    }
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 1002);  // the last line break leaves an empty tail
    EXPECT_EQ(lines[0], QStringLiteral("発話0"));
    EXPECT_EQ(lines[999], QStringLiteral("発話999"));
    EXPECT_EQ(lines[1000], QStringLiteral("一行目\\n二行目"));
}

TEST(SpeechChannel, SpeakReturnsAtOnceWhileAnUtteranceIsSaid) {
    auto shared = std::make_shared<ListeningEngine::Shared>();
    shared->delayMs = 300;
    SpeechChannel channel(listening(shared));
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 5; ++i) channel.speak(QStringLiteral("長い文"));
    EXPECT_LT(t.elapsed(), 100);
    EXPECT_GE(channel.pending(), 4);
    channel.silence();
    EXPECT_TRUE(channel.waitUntilIdle(2000));
}

TEST(SpeechChannel, GoesOnWhileTheGuiThreadWaitsInANestedLoop) {
    auto shared = std::make_shared<ListeningEngine::Shared>();
    SpeechChannel channel(listening(shared));
    channel.speak(QStringLiteral("待っている間"));
    int heardDuringWait = 0;
    Waiter().run([&] {
        for (int i = 0; i < 200 && heardDuringWait == 0; ++i) {
            QThread::msleep(10);
            std::lock_guard lock(shared->mutex);
            heardDuringWait = int(shared->heard.size());
        }
    });
    EXPECT_EQ(heardDuringWait, 1);
}

TEST(SpeechChannel, FallsBackWhenAnEngineCannotOpen) {
    struct Broken : SpeechEngine {
        QString name() const override { return QStringLiteral("broken"); }
        bool open(QString* why) override {
            *why = QStringLiteral("no audio output");
            return false;
        }
        bool say(const QString&, QString*) override { return false; }
    };
    auto shared = std::make_shared<ListeningEngine::Shared>();
    SpeechChannel channel({[] { return std::make_unique<Broken>(); },
                           [shared] { return std::make_unique<ListeningEngine>(shared); }});
    channel.speak(QStringLiteral("聞こえますか"));
    ASSERT_TRUE(channel.waitUntilIdle(5000));
    EXPECT_EQ(channel.engineName(), QStringLiteral("listening"));
    std::lock_guard lock(shared->mutex);
    EXPECT_EQ(shared->heard, QStringList{QStringLiteral("聞こえますか")});
}

TEST(SpeechChannel, ShutdownDoesNotHangOnAStuckEngine) {
    struct Stuck : SpeechEngine {
        QString name() const override { return QStringLiteral("stuck"); }
        bool open(QString*) override { return true; }
        bool say(const QString&, QString*) override {
            QThread::sleep(3);
            return true;
        }
    };
    auto* channel = new SpeechChannel({[] { return std::make_unique<Stuck>(); }});
    channel->speak(QStringLiteral("止まらない"));
    QThread::msleep(50);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(channel->shutdown(200));
    EXPECT_LT(t.elapsed(), 1000);
    // The engine lets go in the end; the channel can then be destroyed cleanly.
    EXPECT_TRUE(channel->shutdown(5000));
    delete channel;
}
