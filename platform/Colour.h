#pragma once

#include <cstdint>

// A 24-bit RGB colour held as 0x00BBGGRR: red in the low byte. Stored signed so that
// a negative value can be detected and refused where it would be drawn.
using TColour = std::int32_t;

constexpr TColour clBlack = 0x000000;
constexpr TColour clWhite = 0xFFFFFF;

constexpr int ColourRed(TColour c) {
    return c & 0xFF;
}
constexpr int ColourGreen(TColour c) {
    return (c >> 8) & 0xFF;
}
constexpr int ColourBlue(TColour c) {
    return (c >> 16) & 0xFF;
}
constexpr TColour MakeColour(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}
