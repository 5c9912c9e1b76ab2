#include "platform/qt/SurfaceWidget.h"

#include "platform/wayland/WaylandPlatform.h"
#include "platform/wayland/WaylandSharedView.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/X11SharedView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

TSurfaceWidget::TSurfaceWidget(QWidget* Parent, TColour Background)
    : QWidget(Parent), FWindow(TSurfaceWindow::Create(0, 0, Background)) {
    // We paint every pixel ourselves; no need for Qt to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A window of its own that Qt never paints: the server takes its pixels from the
    // surface. Only marked here; the window exists once the widget is shown.
    FWayland = TWaylandPlatform::Active();
    FDirect = !FWayland && TX11SharedView::Possible(QtConnection());
    if (FDirect) {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    connect(&FRefresh, &QTimer::timeout, this, &TSurfaceWidget::CopyDirtyTiles);
    FRefresh.setSingleShot(true);
    FRefresh.start(RefreshInterval);
    // A painter starting on a window at rest wakes its refresh (queued: any thread may ask).
    FWindow->SetOnGetDC(
        [this] { QMetaObject::invokeMethod(this, &TSurfaceWidget::Wake, Qt::QueuedConnection); });
    SyncSurfaceSize();
}

TSurfaceWidget::~TSurfaceWidget() {
    FWindow->SetOnGetDC(nullptr);
    // The window may outlive us (a painter holds it); its factory must not outlive the view.
    if (FWaylandView)
        FWindow->SetFactory(nullptr);
}

QPaintEngine* TSurfaceWidget::paintEngine() const {
    return FDirect ? nullptr : QWidget::paintEngine();
}

qreal TSurfaceWidget::Ratio() const {
    return FWaylandView ? FWaylandView->Ratio() : devicePixelRatioF();
}

QSize TSurfaceWidget::DeviceSize() const {
    const qreal Ratio = this->Ratio();
    return {static_cast<int>(std::lround(width() * Ratio)),
            static_cast<int>(std::lround(height() * Ratio))};
}

void TSurfaceWidget::SetBackground(TColour Colour) {
    FWindow->SetBackground(Colour);
    FWindow->Surface()->Fill(Colour);
    CopyDirtyTiles();
}

void TSurfaceWidget::ShareWithServer() {
    FView = TX11SharedView::Create(QtConnection(), static_cast<std::uint32_t>(winId()));
    if (!FView) {
        // A remote server, or a window of another visual: copy as Qt paints.
        FDirect = false;
        setAttribute(Qt::WA_PaintOnScreen, false);
        setAttribute(Qt::WA_NoSystemBackground, false);
    } else {
        FWindow->SetFactory(FView->Factory());
    }
    SyncSurfaceSize();
}

void TSurfaceWidget::ShareWithCompositor() {
    FWaylandView = TWaylandSharedView::Create(this);
    // None: Qt paints the image, as on any other platform.
    if (FWaylandView)
        FWindow->SetFactory(FWaylandView->Factory());
    SyncSurfaceSize();
}

void TSurfaceWidget::SyncSurfaceSize() {
    const QSize Size = DeviceSize();
    const bool Resized = FShown && QSize(FShown->Width(), FShown->Height()) != Size;
    FWindow->Resize(Size.width(), Size.height());
    FShown = FWindow->Surface();
    FShownRatio = Ratio();
    FQtRatio = devicePixelRatioF();
    FShown->TakeDirtyTiles();
    if (FView || FWaylandView) {
        FImage = QImage();
    } else {
        FImage = QImage(FShown->Width(), FShown->Height(), QImage::Format_RGB32);
        FImage.setDevicePixelRatio(FShownRatio);
        FShown->CopyArgb({0, 0, FShown->Width(), FShown->Height()},
                         reinterpret_cast<std::uint32_t*>(FImage.bits()),
                         FImage.bytesPerLine() / static_cast<int>(sizeof(std::uint32_t)));
    }
    update();
    if (Resized)
        emit DeviceSizeChanged();
}

void TSurfaceWidget::LookForOwedFrame() {
    // On whole seconds, so that the looks of every window of the program share one wake.
    FRefresh.setTimerType(Qt::VeryCoarseTimer);
    FRefresh.start(FrameStallCheck);
}

void TSurfaceWidget::AwaitOwedFrame() {
    const auto Now = std::chrono::steady_clock::now();
    if (!FFrameWait)
        FFrameWait = Now;
    const bool Stalled = Now - *FFrameWait >= std::chrono::milliseconds(FrameStall);
    UpdatePresented(Stalled);
    if (Stalled)
        LookForOwedFrame();
    else
        FRefresh.start(FrameWait);
}

void TSurfaceWidget::Wake() {
    if (FRefresh.isActive())
        return;
    FRefresh.setTimerType(Qt::CoarseTimer);
    FRefresh.start(RefreshInterval);
}

void TSurfaceWidget::CopyDirtyTiles() {
    const auto Start = std::chrono::steady_clock::now();
    // Armed again however this ends; the pause is set below once the cost is known.
    FRefresh.setTimerType(Qt::CoarseTimer);
    FRefresh.start(RefreshInterval);
    const bool QtRatioChanged = !qFuzzyCompare(FQtRatio, devicePixelRatioF());
    if (FWaylandView && QtRatioChanged)
        FWaylandView->Remeasure();
    if (QtRatioChanged || DeviceSize() != QSize(FShown->Width(), FShown->Height()) ||
        !qFuzzyCompare(FShownRatio, Ratio())) {
        // Moved to a screen of another scale, or the screen's scale changed: follow the
        // new device size. A sub-surface refused at the old scale may fit the new one.
        SyncSurfaceSize();
        if (FWayland && !FWaylandView && isVisible())
            ShareWithCompositor();
        return;
    }
    // A frame the compositor held back has come: it shows the widget again.
    if (FFramesStalled && FWaylandView && FWaylandView->Ready()) {
        FFrameWait.reset();
        UpdatePresented(false);
    }
    if (!FSeen) {
        // Nothing is sent while nobody can see it; a frame still owed is looked for.
        if (FFramesStalled)
            LookForOwedFrame();
        else
            FRefresh.stop();
        return;
    }
    // A new scale is shown even when no pixel changed.
    if ((!FShown->AnyDirty() && !(FWaylandView && FWaylandView->Rescaled())) ||
        (FDirect && !FView)) {
        // Nothing new, and nothing can come while no painter holds the window (the one
        // painter serves every monitor in turn): rest until one starts on it, once the
        // compositor owes no frame. A frame owed on an output that is off is looked for
        // once a second, not every refresh.
        if (FWaylandView && !FWaylandView->Ready())
            AwaitOwedFrame();
        else if (FWindow->DCCount() == 0)
            FRefresh.stop();
        return;
    }
    // Qt made the window's surface anew: a sub-surface of the new one takes over.
    if (FWaylandView && !FWaylandView->Current()) {
        FWindow->SetFactory(nullptr);
        FWaylandView.reset();
        ShareWithCompositor();
        return;
    }
    // A widget inside a dialog moves with its layout; the sub-surface follows it.
    if (FWaylandView) {
        const QPoint At = mapTo(window(), QPoint(0, 0));
        FWaylandView->Place(At.x(), At.y());
    }
    // At most one commit per frame of the compositor's: the tiles stay marked until then,
    // and the next look comes soon, as the frame is due within a refresh of the output.
    if (FWaylandView && !FWaylandView->Ready()) {
        AwaitOwedFrame();
        return;
    }
    FFrameWait.reset();
    const qreal Ratio = devicePixelRatioF();
    auto* Bits = FView || FWaylandView ? nullptr : reinterpret_cast<std::uint32_t*>(FImage.bits());
    const std::ptrdiff_t Stride = FImage.bytesPerLine() / static_cast<int>(sizeof(std::uint32_t));
    const auto Tiles = FShown->TakeDirtyTiles();
    for (std::size_t First = 0; First < Tiles.size();) {
        // Neighbours in a row of tiles are refreshed as one rectangle: Qt's region of
        // thousands of tiles, or a request each, would cost more than the pixels.
        std::size_t End = First + 1;
        while (End < Tiles.size() && Tiles[End].Top == Tiles[First].Top &&
               Tiles[End].Left == Tiles[End - 1].Left + Tiles[End - 1].Width)
            ++End;
        const TSurface::TRect Run{Tiles[First].Left, Tiles[First].Top,
                                  Tiles[End - 1].Left + Tiles[End - 1].Width - Tiles[First].Left,
                                  Tiles[First].Height};
        if (FView) {
            FView->Put(*FShown, Run);
        } else if (FWaylandView) {
            FWaylandView->Put(*FShown, Run);
        } else {
            FShown->CopyArgb(Run, Bits + Run.Top * Stride + Run.Left, Stride);
            // Widget coordinates are logical; round outwards so no device pixel is missed.
            update(QRectF(Run.Left / Ratio, Run.Top / Ratio, Run.Width / Ratio, Run.Height / Ratio)
                       .toAlignedRect());
        }
        First = End;
    }
    if (FView)
        FView->Flush();
    if (FWaylandView)
        FWaylandView->Flush();
    // What Qt's painting took since the last refresh is charged to this one alone: on
    // Wayland and on the X server's shared view Qt paints only when the window is shown or
    // exposed (4 ms under Qt 6.8), and that must not stretch every pause after it.
    const auto Cost = std::chrono::steady_clock::now() - Start +
                      std::chrono::nanoseconds(std::exchange(FPaintCost, 0));
    FRefresh.start(std::clamp(
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Cost).count() *
                         RefreshDutyFactor),
        RefreshInterval, LongestRefreshInterval));
}

QImage TSurfaceWidget::Snapshot() const {
    if (!FView && !FWaylandView)
        return FImage;
    // The server shows the surface itself.
    QImage Result(FShown->Width(), FShown->Height(), QImage::Format_RGB32);
    FShown->CopyArgb({0, 0, FShown->Width(), FShown->Height()},
                     reinterpret_cast<std::uint32_t*>(Result.bits()),
                     Result.bytesPerLine() / static_cast<int>(sizeof(std::uint32_t)));
    return Result;
}

void TSurfaceWidget::paintEvent(QPaintEvent* Event) {
    const auto Start = std::chrono::steady_clock::now();
    const qreal Ratio = devicePixelRatioF();
    if (FView) {
        // An exposure: the server copies the pixels again.
        const QRect Device =
            QRectF(Event->rect().topLeft() * Ratio, QSizeF(Event->rect().size()) * Ratio)
                .toAlignedRect();
        FView->Put(*FShown, {Device.left(), Device.top(), Device.width(), Device.height()});
        FView->Flush();
    } else if (FWaylandView) {
        // Under the sub-surface, seen only until its first commit: the background.
        const TColour Colour = Background();
        QPainter(this).fillRect(Event->rect(),
                                QColor(Colour & 0xFF, Colour >> 8 & 0xFF, Colour >> 16 & 0xFF));
    } else if (!FDirect) {
        QPainter Painter(this);
        Painter.drawImage(
            Event->rect(), FImage,
            QRectF(Event->rect().topLeft() * Ratio, QSizeF(Event->rect().size()) * Ratio));
    }
    FPaintCost += std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now() - Start)
                      .count();
}

void TSurfaceWidget::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    // A full-screen window takes another size when its output's mode or scale changes.
    if (FWaylandView)
        FWaylandView->Remeasure();
    SyncSurfaceSize();
    // A new scale is committed by a refresh, even on a window at rest.
    Wake();
}

void TSurfaceWidget::SetSeen(bool Value) {
    if (Value == FSeen)
        return;
    FSeen = Value;
    // Seen again: what was drawn meanwhile goes out at once, and a frame owed since before
    // is waited for afresh. Not seen: the next refresh stops the timer, or keeps looking
    // for a frame owed.
    if (FSeen) {
        if (!FFramesStalled)
            FFrameWait.reset();
        FRefresh.setTimerType(Qt::CoarseTimer);
        FRefresh.start(0);
    }
}

void TSurfaceWidget::UpdatePresented(bool FramesStalled) {
    const bool Was = Presented();
    FFramesStalled = FramesStalled;
    FVisible = isVisible();
    if (Presented() != Was)
        emit PresentedChanged();
}

void TSurfaceWidget::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    UpdatePresented(FFramesStalled);
    if (FDirect && !FView && internalWinId())
        ShareWithServer();
    if (FWayland && !FWaylandView)
        ShareWithCompositor();
}

void TSurfaceWidget::hideEvent(QHideEvent* Event) {
    QWidget::hideEvent(Event);
    // Qt drops a hidden window's surface, and our sub-surface with it: the pixels go back
    // to memory of their own until the window shows again.
    if (FWaylandView) {
        FWindow->SetFactory(nullptr);
        FWaylandView.reset();
        SyncSurfaceSize();
    }
    // Its frames are owed to a surface that is gone.
    FFrameWait.reset();
    UpdatePresented(false);
}

bool TSurfaceWidget::event(QEvent* Event) {
    // Qt made the window anew (a change of window flags does): the view of the old one
    // would send its pixels nowhere.
    if (Event->type() == QEvent::WinIdChange && FView) {
        FView.reset();
        FDirect = true;
        if (internalWinId())
            ShareWithServer();
    }
    return QWidget::event(Event);
}
