#include "platform/qt/Monitors.h"

#include "platform/wayland/KdeOutputOrder.h"
#include "platform/wayland/KdePrimaryOutput.h"
#include "platform/wayland/WaylandPlatform.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>

namespace {
// The test seam: the one piece of process-wide state here, set only by tests on the
// GUI thread.
std::optional<std::vector<TMonitor>>& OverrideList() {
    static std::optional<std::vector<TMonitor>> List;
    return List;
}

// The order the desktop tells, from the first of its ways that says one: a desktop of
// its own is one more class here.
std::vector<std::string> DesktopOrder() {
    std::unique_ptr<TOutputOrder> Ways[] = {std::make_unique<TKdeOutputOrder>(),
                                            std::make_unique<TKdePrimaryOutput>()};
    for (const auto& Way : Ways)
        if (auto Names = Way->Names(); !Names.empty())
            return Names;
    return {};
}
} // namespace

std::vector<TMonitor> TMonitors::List() {
    if (OverrideList())
        return *OverrideList();
    std::vector<TMonitor> Result;
    const QScreen* PrimaryScreen = QGuiApplication::primaryScreen();
    int Index = 0;
    for (QScreen* Screen : QGuiApplication::screens()) {
        const QRect Bounds = Screen->geometry();
        const qreal Ratio = Screen->devicePixelRatio();
        Result.push_back({Index++, Bounds, static_cast<int>(std::lround(Bounds.width() * Ratio)),
                          static_cast<int>(std::lround(Bounds.height() * Ratio)),
                          Screen == PrimaryScreen, Screen, Screen->name().toStdString()});
    }
    if (TWaylandPlatform::Active())
        OrderOutputs(Result, DesktopOrder());
    return Result;
}

void TMonitors::OrderOutputs(std::vector<TMonitor>& Monitors,
                             const std::vector<std::string>& DesktopOrder) {
    const auto Key = [&](const TMonitor& M) {
        // An output the desktop does not name comes after all it does.
        const auto Named = std::find(DesktopOrder.begin(), DesktopOrder.end(), M.Name);
        return std::make_tuple(Named - DesktopOrder.begin(), !M.BoundsRect.contains(0, 0),
                               M.BoundsRect.left(), M.BoundsRect.top());
    };
    std::stable_sort(Monitors.begin(), Monitors.end(),
                     [&](const TMonitor& A, const TMonitor& B) { return Key(A) < Key(B); });
    for (std::size_t Index = 0; Index < Monitors.size(); ++Index) {
        Monitors[Index].MonitorNum = static_cast<int>(Index);
        Monitors[Index].Primary = Index == 0;
    }
}

void TMonitors::Override(std::optional<std::vector<TMonitor>> Monitors) {
    OverrideList() = std::move(Monitors);
}
