// Nobody watching, nothing computed, on GNOME: mutter, headless, puts its monitor to sleep
// through DisplayConfig's PowerSaveMode, as GNOME does when it blanks the screen.
#include "tests/wayland/Mutter.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {
constexpr auto PaintWithin = 15s;
constexpr auto RestWithin = 10s;
constexpr int MonitorOff = 3;
constexpr int MonitorOn = 0;

TEST(MutterPower, ThePainterRestsWhileTheMonitorSleepsAndGoesOnWithItsViewWhenItWakes) {
    if (const std::string Why = TMutter::Unavailable(); !Why.empty())
        GTEST_SKIP() << Why;
    const TMutter Mutter;
    ASSERT_TRUE(Mutter.Started()) << Mutter.Error();
    const auto Saver = Mutter.Start({YstreloBinary(), "/s"});
    TPainterWatch(Saver->Pid())
        .ExpectRestWhileHidden([&] { ASSERT_TRUE(Mutter.SetPowerSaveMode(MonitorOff)); },
                               [&] { ASSERT_TRUE(Mutter.SetPowerSaveMode(MonitorOn)); },
                               PaintWithin, RestWithin);

    Saver->Signal(SIGTERM);
    EXPECT_TRUE(ExitedWith(Saver->Wait(5s), 0)) << Saver->Stderr();
    EXPECT_EQ(Saver->Stderr(), "");
}

TEST(MutterPower, ASaverStartedBehindASleepingMonitorComputesNothingUntilItWakes) {
    if (const std::string Why = TMutter::Unavailable(); !Why.empty())
        GTEST_SKIP() << Why;
    const TMutter Mutter;
    ASSERT_TRUE(Mutter.Started()) << Mutter.Error();
    ASSERT_TRUE(Mutter.SetPowerSaveMode(MonitorOff));
    const auto Saver = Mutter.Start({YstreloBinary(), "/s"});
    TPainterWatch Painter(Saver->Pid());
    EXPECT_TRUE(Painter.Rests(PaintWithin)) << Saver->Stderr();
    ASSERT_TRUE(Mutter.SetPowerSaveMode(MonitorOn));
    EXPECT_TRUE(Painter.Works()) << Saver->Stderr();
    Saver->Signal(SIGTERM);
    EXPECT_TRUE(ExitedWith(Saver->Wait(5s), 0)) << Saver->Stderr();
}
} // namespace
