#include "host/WindowVisibility.h"

#include "platform/Errors.h"
#include "platform/qt/SurfaceWidget.h"
#include "platform/session/MutterPowerSource.h"
#include "platform/wayland/KdeDpmsSource.h"
#include "platform/wayland/WaylandFrameSource.h"
#include "platform/wayland/WaylandPlatform.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/X11VisibilitySource.h"

#include <QScreen>

#include <algorithm>
#include <string>

TWindowVisibility::TWindowVisibility(const std::vector<QWidget*>& Windows)
    : FWindows(Windows.begin(), Windows.end()) {
    // GNOME puts its monitors to sleep on Wayland and X11 alike.
    if (auto Gnome = TMutterPowerSource::Open())
        FSources.push_back(std::move(Gnome));
    if (TWaylandPlatform::Active()) {
        std::vector<std::string> Outputs;
        for (const QWidget* Window : Windows)
            if (const QScreen* Screen = Window->screen())
                Outputs.push_back(Screen->name().toStdString());
        if (auto Kde = TKdeDpmsSource::Open(Outputs))
            FSources.push_back(std::move(Kde));
        FSources.push_back(std::make_unique<TWaylandFrameSource>(Windows));
    } else if (QtConnection()) {
        std::vector<TX11Window> Ids;
        for (QWidget* Window : Windows)
            Ids.push_back(static_cast<TX11Window>(Window->winId()));
        try {
            FSources.push_back(std::make_unique<TX11VisibilitySource>(
                Ids, TX11VisibilitySource::TLoop::Qt));
        } catch (const EYstreloError&) {
            // Qt's connection stands; a second one refused leaves only the other signs.
        }
    }
    for (const auto& Source : FSources)
        Source->Watch([this] { Update(); });
    Update();
}

TWindowVisibility::~TWindowVisibility() = default;

void TWindowVisibility::Update() {
    FSeen = std::all_of(FSources.begin(), FSources.end(),
                        [](const auto& Source) { return Source->Seen(); });
    // Every widget, not only those whose state changes: a panel made since (the dialog's
    // preview, shown again) learns it too.
    for (const QPointer<QWidget>& Window : FWindows)
        if (Window)
            for (TSurfaceWidget* Widget : Window->findChildren<TSurfaceWidget*>())
                Widget->SetSeen(FSeen);
}
