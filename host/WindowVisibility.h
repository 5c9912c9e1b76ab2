#pragma once

#include "platform/VisibilitySource.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

// Whether anybody can see the program's windows, from every sign the desktop gives
// (docs/visibility.md), and the surface widgets in them, the panels among them, told so:
// while nobody can, the painters rest and nothing ticks. A desktop that gives no sign has
// no source here, and its windows count as seen.
class TWindowVisibility : public QObject {
    Q_OBJECT

public:
    // Windows: the shown top-level windows (the saver's, a host's copy, the dialog).
    explicit TWindowVisibility(const std::vector<QWidget*>& Windows);
    ~TWindowVisibility() override;

    // Seen unless one of the sources says nobody sees the windows.
    bool Seen() const { return FSeen; }

private:
    void Update();

    std::vector<QPointer<QWidget>> FWindows;
    std::vector<std::unique_ptr<TVisibilitySource>> FSources;
    bool FSeen = true;
};
