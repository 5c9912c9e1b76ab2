#pragma once

#include "platform/Surface.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

// A widget that shows the surface a painter thread draws into. Its surface has the
// widget's size in device pixels, so on a scaled display a painter works at full
// resolution. New pixels reach the screen on a short timer that copies only the tiles
// the painter marked; the GUI thread never waits for the painter.
class TSurfaceWidget : public QWidget {
    Q_OBJECT
public:
    // Pixels drawn by a painter show within this many milliseconds.
    static constexpr int RefreshInterval = 25;

    explicit TSurfaceWidget(QWidget* Parent = nullptr, TColour Background = clBlack);

    // The window handle painters are started on.
    HWND Handle() const { return FWindow; }
    const std::shared_ptr<TSurfaceWindow>& SurfaceWindow() const { return FWindow; }

    void SetBackground(TColour Colour);
    TColour Background() const { return FWindow->Background(); }
    // Size of the surface in device pixels.
    QSize DeviceSize() const;
    // What the widget shows now, in device pixels (for tests and screenshots).
    QImage Snapshot() const;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    void SyncSurfaceSize();
    void CopyDirtyTiles();

    std::shared_ptr<TSurfaceWindow> FWindow;
    std::shared_ptr<TSurface> FShown; // the surface FImage mirrors
    QImage FImage;
    QTimer FRefresh;
};
