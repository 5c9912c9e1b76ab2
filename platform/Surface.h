#pragma once

#include "platform/DeviceContext.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Pixel storage of one window, written by a painter thread and read by the GUI thread.
// Every pixel is its own atomic, so neither side ever waits for the other; a pixel write
// costs a few cycles, far less than the iterations behind it. Writes mark the tile they fall in;
// the GUI thread collects the marked tiles and repaints only those.
class TSurface final : public TDeviceContext {
public:
    static constexpr int TileSize = 32;

    struct TRect {
        int Left, Top, Width, Height;
    };
    using TPixel = std::atomic<std::uint32_t>;
    // Where the pixels live: Width * Height of them at Pixels, kept alive by Owner.
    struct TMemory {
        TPixel* Pixels = nullptr;
        std::shared_ptr<void> Owner;
    };

    // The pixels in memory of their own, or in Memory (MemorySize bytes) when given.
    TSurface(int Width, int Height, TColour Background);
    TSurface(int Width, int Height, TColour Background, TMemory Memory);
    // Bytes of memory a surface of that size needs.
    static std::size_t MemorySize(int Width, int Height);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }

    // Inline, and the class is final: a painter that holds the surface itself stores a
    // pixel without a call at every point its sweep visits.
    void SetPixel(int X, int Y, TColour Colour) override {
        if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
            return;
        // Ordered for the GUI thread by the mark's release store that follows.
        FPixels[static_cast<std::size_t>(Y) * FWidth + X].store(ToArgb(Colour),
                                                                std::memory_order_relaxed);
        MarkDirty(static_cast<unsigned>(X), static_cast<unsigned>(Y));
    }
    // The colour at (X, Y) as 0x00BBGGRR; outside the surface, black.
    TColour Pixel(int X, int Y) const;
    // The pixel in Qt's 0xFFRRGGBB layout, for copying into an image without conversion.
    std::uint32_t Argb(int X, int Y) const {
        return FPixels[static_cast<std::size_t>(Y) * FWidth + X].load();
    }

    // Copies Rect (inside the surface) into Dest, whose rows are DestStride pixels apart,
    // in the 0xFFRRGGBB layout: the loop behind every refresh of the screen.
    void CopyArgb(const TRect& Rect, std::uint32_t* Dest, std::ptrdiff_t DestStride) const;

    void Fill(TColour Colour);
    // Copies another surface's pixels where the two overlap (used when a window resizes).
    void CopyFrom(const TSurface& Other);

    // Rectangles of the tiles written since the last call, and clears their marks.
    std::vector<TRect> TakeDirtyTiles();
    bool AnyDirty() const { return FAnyDirty.load(std::memory_order_relaxed); }

    static std::uint32_t ToArgb(TColour Colour) {
        const auto c = static_cast<std::uint32_t>(Colour);
        return OpaqueAlpha | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
    }
    static TColour FromArgb(std::uint32_t Argb);

private:
    static constexpr std::uint32_t OpaqueAlpha = 0xFF000000u;

    void MarkDirty(unsigned X, unsigned Y) {
        auto& Tile = FDirty[static_cast<std::size_t>(Y / TileSize) * FTilesX + X / TileSize];
        // Release stores, written every time (plain moves on x86): a GUI exchange that reads
        // this mark also sees the pixel stored before it, and one that came before this
        // store leaves the mark set for the next refresh. Testing the mark first would save
        // a store only to need a full fence (the pixel store against the mark's load) at
        // every pixel. The lines bounce only when the GUI thread collects, once per refresh.
        Tile.store(1, std::memory_order_release);
        FAnyDirty.store(true, std::memory_order_release);
    }

    int FWidth;
    int FHeight;
    int FTilesX;
    int FTilesY;
    TMemory FMemory;
    TPixel* FPixels;
    std::unique_ptr<std::atomic<std::uint8_t>[]> FDirty;
    std::atomic<bool> FAnyDirty{false};
};

// A window backed only by a surface: the offscreen target of tests and tools, and the
// storage behind every on-screen surface widget. Resize swaps in a new surface; a
// painter still holding the old one keeps drawing into it harmlessly.
class TSurfaceWindow : public TWindow {
public:
    // Makes the surfaces: the X view puts them in memory the server can read.
    using TFactory =
        std::function<std::shared_ptr<TSurface>(int Width, int Height, TColour Background)>;

    TSurfaceWindow(int Width, int Height, TColour Background = clBlack);

    static std::shared_ptr<TSurfaceWindow> Create(int Width, int Height,
                                                  TColour Background = clBlack) {
        return std::make_shared<TSurfaceWindow>(Width, Height, Background);
    }

    HDC GetDC() override;
    std::shared_ptr<TSurface> Surface() const;
    // Keeps the old picture where it still fits; new area gets the background colour.
    void Resize(int Width, int Height);
    // Surfaces from now on come from Factory (none: memory of their own). The next Resize
    // makes one, even to the same size.
    void SetFactory(TFactory Factory);
    TColour Background() const { return FBackground; }
    void SetBackground(TColour Colour);

    int DCCount() const { return FDCCount.load(); }
    void ReleaseDC(const HDC&) override { FDCCount.fetch_sub(1); }
    // Called by GetDC, on the thread that asks, when a painter starts on the window: its
    // shower, which may rest while nobody holds a device context, looks for pixels again.
    void SetOnGetDC(std::function<void()> Handler);

private:
    // Guards the pointer swap on resize and the GetDC handler; pixel writes never take it.
    mutable std::mutex FLock;
    std::shared_ptr<TSurface> FSurface;
    TFactory FFactory;              // GUI thread only
    std::function<void()> FOnGetDC; // under FLock
    bool FFactoryChanged = false;
    std::atomic<TColour> FBackground;
    std::atomic<int> FDCCount{0};
};
