#pragma once

#include <cstdint>
#include <vector>

// Division of one panel side into the columns (or rows) of the frame matrix. Both rules
// cover the side exactly, without gap or overlap; they differ only in which cells get
// the remainder pixels. See docs/panel.md.
struct TMatrixSpan {
    std::int32_t Start; // first pixel
    std::int32_t Size;  // pixel count

    std::int32_t End() const { return Start + Size; } // one past the last pixel
    bool operator==(const TMatrixSpan&) const = default;
};

// Forward rule: edge j at j * Length div Count, so the wider cells come last.
// Count below 1 gives no cells.
std::vector<TMatrixSpan> ForwardDivision(std::int32_t Length, std::int32_t Count);

// Backward rule: sizes handed out from the last cell to the first, each the remainder
// divided by the cells still to serve, so the wider cells come first.
std::vector<TMatrixSpan> BackwardDivision(std::int32_t Length, std::int32_t Count);

struct TMatrixCell {
    std::int32_t Row;
    std::int32_t Column;

    bool operator==(const TMatrixCell&) const = default;
};

// Every cell of a Wide x High matrix once, clockwise from the top-left cell inwards.
// Wide or High below 1 give no cells.
std::vector<TMatrixCell> SpiralOrder(std::int32_t Wide, std::int32_t High);
