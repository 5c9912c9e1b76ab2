#include "platform/wayland/WaylandFrameSource.h"

#include "platform/qt/SurfaceWidget.h"

#include <algorithm>

TWaylandFrameSource::TWaylandFrameSource(const std::vector<QWidget*>& Windows) {
    for (QWidget* Window : Windows)
        for (TSurfaceWidget* Widget : Window->findChildren<TSurfaceWidget*>())
            FWidgets.emplace_back(Widget);
}

bool TWaylandFrameSource::Seen() const {
    const auto Alive = [](const QPointer<TSurfaceWidget>& Widget) { return !Widget.isNull(); };
    if (std::none_of(FWidgets.begin(), FWidgets.end(), Alive))
        return true;
    return std::any_of(FWidgets.begin(), FWidgets.end(), [](const QPointer<TSurfaceWidget>& Widget) {
        return Widget && Widget->Presented();
    });
}

void TWaylandFrameSource::Watch(std::function<void()> Changed) {
    // Queued: a widget finds out in the middle of its refresh, which the answer (its
    // owner's SetSeen) must not interrupt.
    for (const auto& Widget : FWidgets)
        connect(Widget, &TSurfaceWidget::PresentedChanged, this, Changed, Qt::QueuedConnection);
}
