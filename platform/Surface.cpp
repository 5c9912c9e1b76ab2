#include "platform/Surface.h"

#include "platform/PageMemory.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

TColour TSurface::FromArgb(std::uint32_t Argb) {
    return static_cast<TColour>(((Argb & 0xFFu) << 16) | (Argb & 0xFF00u) | ((Argb >> 16) & 0xFFu));
}

std::size_t TSurface::MemorySize(int Width, int Height) {
    return static_cast<std::size_t>(std::max(Width, 0)) * std::max(Height, 0) * sizeof(TPixel);
}

TSurface::TSurface(int Width, int Height, TColour Background)
    : TSurface(Width, Height, Background, TMemory{}) {}

TSurface::TSurface(int Width, int Height, TColour Background, TMemory Memory)
    : FWidth(std::max(Width, 0)), FHeight(std::max(Height, 0)),
      FTilesX((FWidth + TileSize - 1) / TileSize), FTilesY((FHeight + TileSize - 1) / TileSize),
      FMemory(std::move(Memory)), FDirty(std::make_unique<std::atomic<std::uint8_t>[]>(
                                      static_cast<std::size_t>(FTilesX) * FTilesY)) {
    const std::size_t Count = static_cast<std::size_t>(FWidth) * FHeight;
    if (!FMemory.Pixels) {
        // On huge pages: a pass down a column stores each pixel a row apart.
        auto Own = std::make_shared<TPageMemory>(Count * sizeof(TPixel));
        FMemory = {static_cast<TPixel*>(Own->Data()), Own};
    }
    // Fresh memory holds no objects yet: the atomics begin their lives here.
    if (FMemory.Pixels)
        std::uninitialized_default_construct_n(FMemory.Pixels, Count);
    FPixels = FMemory.Pixels;
    Fill(Background);
}

TColour TSurface::Pixel(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight)
        return clBlack;
    return FromArgb(Argb(X, Y));
}

void TSurface::CopyArgb(const TRect& Rect, std::uint32_t* Dest, std::ptrdiff_t DestStride) const {
    // Relaxed loads: the exchange that took the tile's mark ordered them after the pixels'
    // stores. The row pointers are taken once, so the loop is a load and a store per pixel.
    for (int Y = 0; Y < Rect.Height; ++Y) {
        const std::atomic<std::uint32_t>* Source =
            &FPixels[static_cast<std::size_t>(Rect.Top + Y) * FWidth + Rect.Left];
        std::uint32_t* Line = Dest + Y * DestStride;
        for (int X = 0; X < Rect.Width; ++X)
            Line[X] = Source[X].load(std::memory_order_relaxed);
    }
}

void TSurface::Fill(TColour Colour) {
    const std::uint32_t Value = ToArgb(Colour);
    const std::size_t Count = static_cast<std::size_t>(FWidth) * FHeight;
    for (std::size_t i = 0; i < Count; ++i)
        FPixels[i].store(Value, std::memory_order_relaxed);
    for (int i = 0; i < FTilesX * FTilesY; ++i)
        FDirty[i].store(1, std::memory_order_relaxed);
    FAnyDirty.store(true, std::memory_order_release);
}

void TSurface::CopyFrom(const TSurface& Other) {
    const int W = std::min(FWidth, Other.FWidth);
    const int H = std::min(FHeight, Other.FHeight);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            FPixels[static_cast<std::size_t>(Y) * FWidth + X].store(Other.Argb(X, Y),
                                                                    std::memory_order_relaxed);
    for (int i = 0; i < FTilesX * FTilesY; ++i)
        FDirty[i].store(1, std::memory_order_relaxed);
    FAnyDirty.store(true, std::memory_order_release);
}

std::vector<TSurface::TRect> TSurface::TakeDirtyTiles() {
    std::vector<TRect> Result;
    // Clear the summary flag first: a write racing with the scan below sets it again,
    // so it is picked up by the next call at the latest.
    if (!FAnyDirty.exchange(false, std::memory_order_acquire))
        return Result;
    for (int TY = 0; TY < FTilesY; ++TY)
        for (int TX = 0; TX < FTilesX; ++TX) {
            auto& Tile = FDirty[static_cast<std::size_t>(TY) * FTilesX + TX];
            // Acquire: the pixels stored before the mark was set are seen by the copy.
            if (Tile.load(std::memory_order_relaxed) &&
                Tile.exchange(0, std::memory_order_acquire)) {
                const int L = TX * TileSize, T = TY * TileSize;
                Result.push_back(
                    {L, T, std::min(TileSize, FWidth - L), std::min(TileSize, FHeight - T)});
            }
        }
    return Result;
}

TSurfaceWindow::TSurfaceWindow(int Width, int Height, TColour Background)
    : FSurface(std::make_shared<TSurface>(Width, Height, Background)), FBackground(Background) {}

HDC TSurfaceWindow::GetDC() {
    FDCCount.fetch_add(1);
    std::lock_guard Guard(FLock);
    // Under the lock: a handler being replaced (its owner going away) is never called.
    if (FOnGetDC)
        FOnGetDC();
    return FSurface;
}

void TSurfaceWindow::SetOnGetDC(std::function<void()> Handler) {
    std::lock_guard Guard(FLock);
    FOnGetDC = std::move(Handler);
}

std::shared_ptr<TSurface> TSurfaceWindow::Surface() const {
    std::lock_guard Guard(FLock);
    return FSurface;
}

void TSurfaceWindow::Resize(int Width, int Height) {
    auto Old = Surface();
    if (Old->Width() == Width && Old->Height() == Height && !FFactoryChanged)
        return;
    FFactoryChanged = false;
    auto New = FFactory ? FFactory(Width, Height, FBackground.load())
                        : std::make_shared<TSurface>(Width, Height, FBackground.load());
    New->CopyFrom(*Old);
    std::lock_guard Guard(FLock);
    FSurface = std::move(New);
}

void TSurfaceWindow::SetFactory(TFactory Factory) {
    FFactory = std::move(Factory);
    FFactoryChanged = true;
}

void TSurfaceWindow::SetBackground(TColour Colour) {
    FBackground.store(Colour);
}
