#pragma once

#include "platform/Colour.h"

#include <memory>

// What a painter thread draws into: one pixel at a time, from any thread, without a
// lock shared with the GUI thread. Coordinates are in the window's client area;
// pixels outside it are clipped by the implementation.
class TDeviceContext {
public:
    virtual ~TDeviceContext() = default;
    virtual void SetPixel(int X, int Y, TColour Colour) = 0;
};

// A target a painter can be started on. A window hands out device contexts that stay
// valid, and harmless to draw into, even after the window was hidden or destroyed:
// the context keeps its own pixel storage alive.
class TWindow {
public:
    virtual ~TWindow() = default;
    virtual std::shared_ptr<TDeviceContext> GetDC() = 0;
    // Called when a painter gives its context back; most windows need nothing here.
    virtual void ReleaseDC(const std::shared_ptr<TDeviceContext>&) {}
};

using HWND = std::shared_ptr<TWindow>;
using HDC = std::shared_ptr<TDeviceContext>;

inline HDC GetDC(const HWND& Window) {
    return Window ? Window->GetDC() : nullptr;
}

inline void ReleaseDC(const HWND& Window, HDC& DC) {
    if (Window && DC)
        Window->ReleaseDC(DC);
    DC.reset();
}

inline void SetPixelV(const HDC& DC, int X, int Y, TColour Colour) {
    if (DC)
        DC->SetPixel(X, Y, Colour);
}
