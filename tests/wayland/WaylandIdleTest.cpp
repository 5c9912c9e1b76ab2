// The idle watcher on a real compositor: Debian's sway, headless, whose idle protocol
// (org_kde_kwin_idle in 1.7, ext-idle-notify-v1 in 1.10) says when the seat's virtual
// devices were left alone.
#include "tests/wayland/Sway.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/wait.h>

namespace {
constexpr const char* IdleAfter = "2s";
// The idle period, the saver's start and its first windows.
constexpr auto ShowWithin = 15s;
constexpr auto EndWithin = 5s;
// Two idle periods and then some: long enough for a saver that should not start to show.
constexpr auto HeldOffFor = 5s;
constexpr const char* LostLine = "ystrelo: lost the connection to the Wayland compositor\n";

class WaylandIdle : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string Reason = TSway::Unavailable(); !Reason.empty())
            GTEST_SKIP() << Reason;
        // A compositor for each test: one of them ends it.
        FSway = std::make_unique<TSway>();
        ASSERT_TRUE(FSway->Started()) << FSway->Error();
    }

    void TearDown() override {
        if (FWatcher && FWatcher->Running()) {
            FWatcher->Signal(SIGTERM);
            FWatcher->Wait(EndWithin);
        }
        FWatcher.reset();
        FSway.reset();
    }

    void StartWatcher() { FWatcher = FSway->Start({YstreloBinary(), "--idle", IdleAfter}); }

    // The saver's primary window, full screen.
    bool SaverShown() const {
        for (const TSwayWindow& W : FSway->Windows())
            if (W.Title.rfind("Primary", 0) == 0 && W.FullScreen)
                return true;
        return false;
    }
    bool WaitForSaver() {
        return WaitUntil([&] { return SaverShown() || !FWatcher->Running(); }, ShowWithin) &&
               FWatcher->Running();
    }

    std::unique_ptr<TSway> FSway;
    std::unique_ptr<TChild> FWatcher;
};
} // namespace

TEST_F(WaylandIdle, TheSaverStartsAfterEachIdlePeriodAndInputEndsIt) {
    StartWatcher();
    ASSERT_TRUE(WaitForSaver()) << FWatcher->Stderr();
    FSway->MovePointer(100, 100);
    FSway->MovePointer(200, 200);
    ASSERT_TRUE(WaitUntil([&] { return FSway->Windows().empty(); }, EndWithin));
    // The next idle period brings the next saver.
    ASSERT_TRUE(WaitForSaver()) << FWatcher->Stderr();
    // A termination request ends the watcher and its saver.
    FWatcher->Signal(SIGTERM);
    const auto Status = FWatcher->Wait(EndWithin);
    EXPECT_TRUE(ExitedWith(Status, 0)) << Status.value_or(-1) << " " << FWatcher->Stderr();
    EXPECT_TRUE(FSway->Windows().empty());
    EXPECT_EQ(FWatcher->Stderr(), "");
}

TEST_F(WaylandIdle, AProgramThatHoldsTheDesktopAwakeHoldsTheSaverOff) {
    auto Inhibitor = FSway->Start({YSTRELO_WAYLAND_INHIBITOR});
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto Windows = FSway->Windows();
            return (!Windows.empty() && Windows.front().InhibitsIdle) || !Inhibitor->Running();
        },
        ShowWithin));
    ASSERT_TRUE(Inhibitor->Running()) << Inhibitor->Stderr();
    StartWatcher();
    EXPECT_FALSE(WaitUntil([&] { return SaverShown(); }, HeldOffFor));
    Inhibitor.reset();
    EXPECT_TRUE(WaitForSaver()) << FWatcher->Stderr();
}

TEST_F(WaylandIdle, ACompositorThatGoesAwayEndsTheWatcherInOneLine) {
    StartWatcher();
    // A saver on screen: the watcher is past its start and watching.
    ASSERT_TRUE(WaitForSaver()) << FWatcher->Stderr();
    FSway->Kill();
    const auto Status = FWatcher->Wait(EndWithin);
    EXPECT_TRUE(ExitedWith(Status, 1)) << Status.value_or(-1);
    // The saver, which shares the watcher's standard error, may say the same.
    std::string Lines = FWatcher->Stderr();
    EXPECT_EQ(Lines.rfind(LostLine, 0), 0u) << Lines;
    for (std::size_t At; (At = Lines.find(LostLine)) != std::string::npos;)
        Lines.erase(At, std::strlen(LostLine));
    EXPECT_EQ(Lines, "");
}
