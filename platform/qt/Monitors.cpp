#include "platform/qt/Monitors.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {
// The test seam: the one piece of process-wide state here, set only by tests on the
// GUI thread.
std::optional<std::vector<TMonitor>>& OverrideList() {
    static std::optional<std::vector<TMonitor>> List;
    return List;
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
                          Screen == PrimaryScreen, Screen});
    }
    return Result;
}

void TMonitors::Override(std::optional<std::vector<TMonitor>> Monitors) {
    OverrideList() = std::move(Monitors);
}
