#pragma once

#include "platform/Surface.h"
#include "platform/x11/X11Display.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// A window of ours inside a window of another program (a screen-saver host's preview
// area), showing a surface a painter draws into. It covers the parent's top-left
// Width x Height pixels and has the parent's depth and visual, so it needs no colormap
// of its own and the host can read its pixels back through its own window.
//
// Painter threads draw only into the surface; the owner's thread copies what changed
// to the server with Flush. The server destroys the window with its parent or with our
// connection, so a host that tears its window down leaves nothing behind.
class TEmbeddedWindow {
public:
    TEmbeddedWindow(TX11Display& Display, TX11Window Parent, int Width, int Height);
    ~TEmbeddedWindow();

    TEmbeddedWindow(const TEmbeddedWindow&) = delete;
    TEmbeddedWindow& operator=(const TEmbeddedWindow&) = delete;

    // The target painters are started on.
    HWND Handle() const { return FSurfaceWindow; }
    TX11Window Id() const { return FWindow; }

    // Sends the pixels drawn or exposed since the last call. Owner's thread only.
    void Flush();

private:
    struct TPixelFormat {
        int BitsPerPixel = 0;
        int ScanlinePad = 0;
        bool MostSignificantFirst = false;
        bool NativeRgb = false; // 0x00RRGGBB words in our own byte order
        std::array<std::uint32_t, 256> Red{}, Green{}, Blue{};
        std::uint32_t Opaque = 0; // alpha bits of a depth-32 visual, all set
    };

    void ChooseFormat(TX11Window Parent, std::uint8_t Depth);
    std::uint32_t Convert(std::uint32_t Argb) const;
    void SendRect(const TSurface& Surface, int Left, int Top, int Width, int Height);

    TX11Display& FDisplay;
    TX11Window FWindow = 0;
    std::uint32_t FGc = 0;
    TPixelFormat FFormat;
    std::uint8_t FDepth = 0;
    std::shared_ptr<TSurfaceWindow> FSurfaceWindow;
    std::vector<TSurface::TRect> FExposed;
    std::vector<std::uint8_t> FBuffer; // reused so a flush does not allocate
};
