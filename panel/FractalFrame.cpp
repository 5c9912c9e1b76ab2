#include "panel/FractalFrame.h"

#include "platform/Checked.h"

TRect TFractalFrame::GetRect() const {
    return {Left, Top, CheckedAdd(Left, Width), CheckedAdd(Top, Height)};
}
