#pragma once

#include "engine/SaverPaint.h"

#include <cstdint>

class TFractalPanel;

// One rectangle of a panel's frame matrix, in the panel's device pixels. Created only by
// the panel's AddFrame, which guarantees both sides are at least MinSide pixels.
class TFractalFrame {
public:
    static constexpr std::int32_t MinSide = 10;

    TFractalFrame(std::int32_t ALeft, std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight,
                  TFractalPanel* APanel)
        : Top(ATop), Left(ALeft), Width(AWidth), Height(AHeight), Panel(APanel) {}

    // Right and Bottom are one past the frame's last column and row. A painter reads
    // them as inclusive, so it covers one more column and row and neighbouring frames
    // share that edge: no gap shows between them.
    TRect GetRect() const;

    std::int32_t Top;
    std::int32_t Left;
    std::int32_t Width;
    std::int32_t Height;
    TFractalPanel* Panel;
};
