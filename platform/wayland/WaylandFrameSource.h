#pragma once

#include "platform/VisibilitySource.h"

#include <QObject>
#include <QPointer>

#include <vector>

class QWidget;
class TSurfaceWidget;

// Wayland's sign on any compositor: it sends no frame callbacks to a surface it shows
// nowhere (wlroots and KWin for outputs that are off or workspaces not shown, mutter for
// windows under the lock screen, and any compositor for a window it suspends, xdg-shell
// 6). Nobody sees the windows while none of their surface widgets is presented
// (TSurfaceWidget::Presented): each hidden, or owed a frame for 2 s.
class TWaylandFrameSource : public QObject, public TVisibilitySource {
    Q_OBJECT

public:
    // The surface widgets inside Windows, as they are now.
    explicit TWaylandFrameSource(const std::vector<QWidget*>& Windows);

    bool Seen() const override;
    void Watch(std::function<void()> Changed) override;

private:
    std::vector<QPointer<TSurfaceWidget>> FWidgets;
};
