// Monitor numbers on Wayland: the same output gets the same number however the
// compositor announces the outputs.
#include "platform/qt/Monitors.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
TMonitor Output(const std::string& Name, int X, int Y) {
    TMonitor M;
    M.BoundsRect = QRect(X, Y, 100, 100);
    M.Name = Name;
    return M;
}

std::string Order(std::vector<TMonitor> Monitors, const std::vector<std::string>& Desktop = {}) {
    TMonitors::OrderOutputs(Monitors, Desktop);
    std::string Result;
    for (const TMonitor& M : Monitors) {
        EXPECT_EQ(M.MonitorNum, &M - Monitors.data());
        EXPECT_EQ(M.Primary, M.MonitorNum == 0);
        Result += M.Name + (M.Primary ? "* " : " ");
    }
    return Result;
}
} // namespace

TEST(MonitorOrder, TheDesktopsOrderThenTheOriginThenLeftToRightTopToBottom) {
    const std::vector<TMonitor> Layout = {Output("C", 100, 0), Output("D", 100, 100),
                                          Output("A", 0, 0), Output("B", -100, 50)};
    std::vector<TMonitor> Reversed = Layout;
    std::reverse(Reversed.begin(), Reversed.end());
    // Whichever order they were announced in.
    EXPECT_EQ(Order(Layout), "A* B C D ");
    EXPECT_EQ(Order(Reversed), "A* B C D ");
    // KDE's order as it stands; a desktop that names its primary alone, then the layout.
    EXPECT_EQ(Order(Layout, {"D", "B", "C", "A"}), "D* B C A ");
    EXPECT_EQ(Order(Layout, {"D"}), "D* A B C ");
    // Names no output has count for nothing; an output left out follows those named.
    EXPECT_EQ(Order(Reversed, {"HDMI-9"}), "A* B C D ");
    EXPECT_EQ(Order(Reversed, {"HDMI-9", "C", "B"}), "C* B A D ");
    // No output at the origin: the leftmost first.
    EXPECT_EQ(Order({Output("R", 300, 0), Output("L", 200, 0)}), "L* R ");
}
