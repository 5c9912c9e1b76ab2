#include "panel/FrameMatrix.h"

#include "platform/Checked.h"

#include <algorithm>
#include <limits>

std::vector<TMatrixSpan> ForwardDivision(std::int32_t Length, std::int32_t Count) {
    std::vector<TMatrixSpan> Spans;
    if (Count < 1)
        return Spans;
    Length = std::max(Length, 0);
    Spans.reserve(Count);
    // 64-bit products: j * Length overflows 32 bits long before any real panel size does.
    auto EdgeOf = [&](std::int64_t j) { return static_cast<std::int32_t>(j * Length / Count); };
    for (std::int32_t j = 0; j < Count; ++j) {
        const std::int32_t Left = EdgeOf(j);
        Spans.push_back({Left, EdgeOf(std::int64_t{j} + 1) - Left});
    }
    return Spans;
}

std::vector<TMatrixSpan> BackwardDivision(std::int32_t Length, std::int32_t Count) {
    std::vector<TMatrixSpan> Spans;
    if (Count < 1)
        return Spans;
    Spans.resize(Count);
    std::int32_t Remaining = std::max(Length, 0);
    for (std::int32_t k = Count - 1; k >= 0; --k) {
        Spans[k].Size = Remaining / (k + 1);
        Remaining -= Spans[k].Size;
    }
    std::int32_t Start = 0;
    for (auto& Span : Spans) {
        Span.Start = Start;
        Start += Span.Size;
    }
    return Spans;
}

std::vector<TMatrixCell> SpiralOrder(std::int32_t Wide, std::int32_t High) {
    std::vector<TMatrixCell> Cells;
    if (Wide < 1 || High < 1)
        return Cells;
    const std::int32_t Total = CheckedMul(Wide, High);
    Cells.reserve(Total);
    std::int32_t Row = 0, Column = 0;
    std::int32_t FirstRow = 0, LastRow = High - 1, FirstColumn = 0, LastColumn = Wide - 1;
    std::int32_t Count = 1;
    auto Append = [&] {
        Cells.push_back({Row, Column});
        ++Count;
    };
    while (Count < Total) {
        for (; Column < LastColumn; ++Column)
            Append();
        ++FirstRow;
        if (Count >= Total)
            break;
        for (; Row < LastRow; ++Row)
            Append();
        --LastColumn;
        if (Count >= Total)
            break;
        for (; Column > FirstColumn; --Column)
            Append();
        --LastRow;
        if (Count >= Total)
            break;
        for (; Row > FirstRow; --Row)
            Append();
        ++FirstColumn;
    }
    // The cell the last leg stopped on has not been appended yet.
    Cells.push_back({Row, Column});
    return Cells;
}
