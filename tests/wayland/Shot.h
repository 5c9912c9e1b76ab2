#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

// One screenshot of an output or a whole desktop, 0x00RRGGBB per pixel.
struct TShot {
    int Width = 0, Height = 0;
    std::vector<std::uint32_t> Pixels;
    std::uint32_t At(int X, int Y) const { return Pixels[static_cast<std::size_t>(Y) * Width + X]; }
    std::size_t Colours() const {
        return std::set<std::uint32_t>(Pixels.begin(), Pixels.end()).size();
    }
    // The rectangle (X, Y, W, H) alone.
    TShot Part(int X, int Y, int W, int H) const {
        TShot Result{W, H, {}};
        for (int Row = Y; Row < Y + H; ++Row)
            for (int Column = X; Column < X + W; ++Column)
                Result.Pixels.push_back(At(Column, Row));
        return Result;
    }
};
