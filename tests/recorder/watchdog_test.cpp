#include "watchdog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

namespace qv::recorder {
namespace {

using namespace std::chrono_literals;

TEST(RecorderWatchdog, EndsTheProcessWithItsCodeAndTheLatestMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the watchdog runs a thread
    EXPECT_EXIT(
        {
            Watchdog w(7);
            w.arm(10s, QStringLiteral("first"));
            w.arm(50ms, QStringLiteral("the audio input does not start"));
            std::this_thread::sleep_for(10s);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(7), "waveIn: the audio input does not start");
}

TEST(RecorderWatchdog, DisarmedMovedOrDestroyedItLetsTheProcessLive) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            {
                Watchdog w(7);
                w.arm(50ms, QStringLiteral("disarmed"));
                w.disarm();
                std::this_thread::sleep_for(200ms);
                w.arm(150ms, QStringLiteral("moved"));
                std::this_thread::sleep_for(100ms);
                w.arm(2s, QStringLiteral("moved"));
                std::this_thread::sleep_for(200ms);
                w.arm(50ms, QStringLiteral("destroyed"));
            }
            std::this_thread::sleep_for(200ms);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace qv::recorder
