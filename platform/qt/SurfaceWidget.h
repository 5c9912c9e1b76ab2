#pragma once

#include "platform/Surface.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>

class TWaylandSharedView;
class TX11SharedView;

// A widget that shows the surface a painter thread draws into. Its surface has the
// widget's size in device pixels, so on a scaled display a painter works at full
// resolution. New pixels reach the screen on a short timer that refreshes only the tiles
// the painter marked; the GUI thread never waits for the painter. The timer rests while
// no painter holds the window and nothing is left to show, until a painter starts on it.
//
// On an X server that can read our memory the widget is a window of its own whose
// pixels the server copies straight from the surface (TX11SharedView): a refresh is a
// few requests, whatever the size. On Wayland the compositor maps the surface's memory
// and shows it on a sub-surface over the widget (TWaylandSharedView). Elsewhere (a remote
// display, Qt's offscreen platform) the tiles are copied into an image that Qt paints.
// Either way the pause between two refreshes follows their cost, so that the GUI thread
// spends about a hundredth of its time on them, and new pixels still show within a tenth
// of a second.
class TSurfaceWidget : public QWidget {
    Q_OBJECT
public:
    // The shortest and the longest pause between two refreshes, in milliseconds.
    static constexpr int RefreshInterval = 40;
    static constexpr int LongestRefreshInterval = 90;
    // The pause is this many times what the last refresh cost (copy and paint).
    static constexpr int RefreshDutyFactor = 100;
    // On Wayland, the next look when the compositor has not asked for a frame yet.
    static constexpr int FrameWait = 8;
    // On Wayland, a frame asked for and not given for this long means the compositor
    // shows the widget nowhere (an output off, a covered or hidden window); from then on
    // it is looked for once every FrameStallCheck, until it comes.
    static constexpr int FrameStall = 2000;
    static constexpr int FrameStallCheck = 1000;

    explicit TSurfaceWidget(QWidget* Parent = nullptr, TColour Background = clBlack);
    ~TSurfaceWidget() override;

    // The window handle painters are started on.
    HWND Handle() const { return FWindow; }
    const std::shared_ptr<TSurfaceWindow>& SurfaceWindow() const { return FWindow; }

    void SetBackground(TColour Colour);
    TColour Background() const { return FWindow->Background(); }
    // Size of the surface in device pixels.
    QSize DeviceSize() const;
    // What the widget shows now, in device pixels (for tests and screenshots).
    QImage Snapshot() const;
    // Whether the server reads the pixels straight from the surface.
    bool SharedWithServer() const { return FView != nullptr || FWaylandView != nullptr; }

    // Whether anybody may see the widget, as its owner found out (TVisibilitySource). While
    // nobody can, nothing is sent and the refresh timer stops, but for the look once a
    // second for a frame the compositor owes (Presented).
    virtual void SetSeen(bool Value);
    bool Seen() const { return FSeen; }
    // Whether the window system shows the widget, as far as it says: it is shown and, on
    // Wayland, the compositor has not held back a frame for FrameStall. Qt's exposure is
    // not asked: Qt takes a window for not exposed when a frame of its own is 100 ms late,
    // and exposed again only when that frame comes, which a compositor may send only once
    // something is drawn again (mutter 43).
    bool Presented() const { return FVisible && !FFramesStalled; }

    QPaintEngine* paintEngine() const override;

signals:
    // The surface took another size in device pixels: the widget's, or its scale's, changed.
    void DeviceSizeChanged();
    // Presented changed.
    void PresentedChanged();

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    bool event(QEvent* Event) override;

private:
    // The device pixel ratio of the surface: Qt's, or on Wayland the compositor's scale
    // of the output times Qt's own factor (TWaylandSharedView::Ratio).
    qreal Ratio() const;
    void SyncSurfaceSize();
    void CopyDirtyTiles();
    // Starts the refresh timer of a window at rest.
    void Wake();
    void ShareWithServer();
    void ShareWithCompositor();
    // Sets what Presented says from the widget's visibility and the frames owed.
    void UpdatePresented(bool FramesStalled);
    void LookForOwedFrame();
    // The compositor owes a frame: looked for soon, and once a second after FrameStall.
    void AwaitOwedFrame();

    std::shared_ptr<TSurfaceWindow> FWindow;
    std::shared_ptr<TSurface> FShown; // the surface on screen
    qreal FShownRatio = 1;            // the device pixel ratio it was made for
    qreal FQtRatio = 1;               // Qt's ratio for the widget then
    // Shared with the server, or else copied into FImage.
    bool FDirect = false; // a native window meant for FView
    std::unique_ptr<TX11SharedView> FView;
    // On Wayland, once the window is shown.
    bool FWayland = false;
    std::unique_ptr<TWaylandSharedView> FWaylandView;
    QImage FImage;
    QTimer FRefresh;
    // What paint events took since the last refresh, in nanoseconds: part of its cost.
    std::int64_t FPaintCost = 0;
    bool FSeen = true;
    bool FVisible = false;
    bool FFramesStalled = false;
    // Since when a frame has been owed while the widget was seen.
    std::optional<std::chrono::steady_clock::time_point> FFrameWait;
};
