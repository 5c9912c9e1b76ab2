#pragma once

#include "platform/Surface.h"

#include <QPointer>
#include <QWindow>

#include <cstdint>
#include <memory>

class QWidget;
struct wl_buffer;
struct wl_callback;
struct wl_compositor;
struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wl_shm;
struct wl_shm_pool;
struct wl_subcompositor;
struct wl_subsurface;
struct wl_surface;

// Shows surfaces on a Wayland compositor straight from our memory, the counterpart of
// TX11SharedView: the surfaces it makes live in a memfd that the compositor maps
// (wl_shm), on a sub-surface of the widget's top-level window that covers the widget.
// A refresh is a damage request per run of changed tiles and one commit, and there is
// at most one commit per frame the compositor asks for. The sub-surface is synchronised
// with the window: each refresh commits the window's surface as well, which also
// completes the compositor's configure requests that Qt 6.4 acknowledges but commits only
// when it paints again (sway waits for that commit, up to 200 ms, before it shows a new
// or full-screen window; Qt no longer paints the window). Nothing of the pixels passes
// through our GUI thread; Qt's own backing store, which copies the whole window into a
// new buffer whenever the compositor still holds the last one, is bypassed.
//
// The compositor reads pixels while a painter may be writing them; a tile it reads half
// written is marked dirty again by that very write and committed once more.
//
// The sub-surface takes no input (an empty input region): the pointer and the keyboard
// stay with Qt's window, and with them its cursor.
//
// Qt's device pixel ratio is the output's scale times a factor of Qt's own
// (QT_SCALE_FACTOR). The compositor knows only the first: it is the buffer's scale, and
// the sub-surface's position is Qt's logical one times Qt's factor. The factor is
// measured once, against the scale the compositor gives the window's output; the scale
// is measured again whenever the widget's size or Qt's ratio changes, so an output whose
// scale changes keeps every pixel sharp, whether Qt follows it or not.
class TWaylandSharedView {
public:
    // A view over Widget, or nothing when Qt does not run on Wayland, its connection
    // and the window's surface cannot be had, or the compositor lacks what it takes.
    static std::unique_ptr<TWaylandSharedView> Create(QWidget* Widget);
    ~TWaylandSharedView();

    TWaylandSharedView(const TWaylandSharedView&) = delete;
    TWaylandSharedView& operator=(const TWaylandSharedView&) = delete;

    // Makes surfaces in memory the compositor maps; for TSurfaceWindow::SetFactory. The
    // view shows only the newest one.
    TSurfaceWindow::TFactory Factory();
    // Whether a commit may be made now: the compositor has asked for a frame since the
    // last one. Handles what the compositor sent us.
    bool Ready();
    // Marks Rect of Surface (the newest surface made) as changed.
    void Put(const TSurface& Surface, const TSurface::TRect& Rect);
    // Commits what was put, asking for the next frame.
    void Flush();
    // Where the widget lies in its window, in the window's coordinates (logical pixels);
    // the same place again changes nothing.
    void Place(int X, int Y);
    // Whether the window's surface is still the one the sub-surface belongs to: Qt makes
    // a new one when it makes the window anew. A view that is not current shows nothing.
    bool Current() const;
    // The device pixel ratio the widget's surface must have: the output's scale, as last
    // measured, times Qt's own factor.
    int Ratio() const { return FNative * FFactor; }
    // Reads the output's scale again, from the compositor: Qt 6.8 keeps a window's old
    // device pixel ratio when sway 1.10 changes its output's scale, though the window
    // takes the new logical size. For when the widget's size or Qt's ratio changed.
    void Remeasure();
    // Whether the output's scale changed since the last commit: the next one shows the
    // same pixels over another area, so it is owed even when none of them changed.
    bool Rescaled() const { return FNative != FScale; }

private:
    TWaylandSharedView() = default;
    std::shared_ptr<TSurface> MakeSurface(int Width, int Height, TColour Background);
    static void Global(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface,
                       std::uint32_t Version);
    static void GlobalRemove(void*, wl_registry*, std::uint32_t) {}
    static void FrameDone(void* Data, wl_callback* Callback, std::uint32_t Time);

    QPointer<QWindow> FWindow;
    wl_surface* FParent = nullptr;  // Qt's, of FWindow
    wl_display* FDisplay = nullptr; // Qt's
    wl_event_queue* FQueue = nullptr;
    wl_display* FWrapper = nullptr; // Qt's display, its events sent to FQueue
    wl_registry* FRegistry = nullptr;
    wl_compositor* FCompositor = nullptr;
    wl_subcompositor* FSubcompositor = nullptr;
    wl_shm* FShm = nullptr;
    wl_surface* FSurface = nullptr;
    wl_subsurface* FSubsurface = nullptr;
    wl_buffer* FBuffer = nullptr; // the newest surface's
    const TSurface* FShown = nullptr;
    wl_callback* FFrame = nullptr; // a frame asked for and not yet given
    bool FAttached = false;        // the newest buffer attached
    bool FDamaged = false;
    int FScale = 1;  // the buffer's
    int FNative = 1; // the output's, as last measured
    int FFactor = 1; // Qt's own, over the output's scale
    bool FPlaced = false;
    int FX = 0, FY = 0; // logical
};
