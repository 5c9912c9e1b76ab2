#pragma once

#include "platform/Surface.h"

#include <cstdint>
#include <memory>

struct xcb_connection_t;

// Shows surfaces in an X window straight from our memory (MIT-SHM): the surfaces it makes
// live in shared memory, and a refresh only asks the server to copy the tiles that
// changed. Nothing of the pixels passes through our GUI thread, which is what keeps a
// running saver's main thread nearly idle whatever the screen size.
//
// The server reads pixels while a painter may be writing them; a tile it reads half
// written is marked dirty again by that very write and sent once more.
class TX11SharedView {
public:
    // Whether a view can be made on this connection's server at all (MIT-SHM, and a
    // 24-bit true-colour root visual in our byte order, whose pixels are the surfaces').
    static bool Possible(xcb_connection_t* Connection);
    // A view of Window, or nothing when the server cannot read our memory (a remote
    // display) or the window's pixels are not the surfaces'.
    static std::unique_ptr<TX11SharedView> Create(xcb_connection_t* Connection,
                                                  std::uint32_t Window);
    ~TX11SharedView();

    TX11SharedView(const TX11SharedView&) = delete;
    TX11SharedView& operator=(const TX11SharedView&) = delete;

    // Makes surfaces in memory the server can read; for TSurfaceWindow::SetFactory. The
    // server keeps only the newest one: show no other.
    TSurfaceWindow::TFactory Factory();
    // Asks the server to copy Rect of Surface (the newest surface made) to the window.
    void Put(const TSurface& Surface, const TSurface::TRect& Rect);
    void Flush();

private:
    TX11SharedView(xcb_connection_t* Connection, std::uint32_t Window, std::uint8_t Depth);
    std::shared_ptr<TSurface> MakeSurface(int Width, int Height, TColour Background);
    void Detach();

    xcb_connection_t* FConnection;
    std::uint32_t FWindow;
    std::uint8_t FDepth;
    std::uint32_t FGc = 0;
    std::uint32_t FSegment = 0; // the newest surface's, 0 if none
    const TSurface* FSurface = nullptr;
};
