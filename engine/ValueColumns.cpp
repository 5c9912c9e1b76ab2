#include "engine/ValueColumns.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

void TValueColumns::Resize(std::size_t Columns, std::size_t Height) {
    Columns = std::max(Columns, FColumns);
    if (Height != 0 && Columns > SIZE_MAX / sizeof(std::int32_t) / Height)
        throw std::bad_alloc();
    const std::size_t Bytes = Columns * Height * sizeof(std::int32_t);
    if (Bytes > FMemory.Size()) {
        TPageMemory Larger(Bytes);
        // Only a layout that stays the same has values worth keeping.
        if (Height == FHeight && FColumns != 0)
            std::memcpy(Larger.Data(), FMemory.Data(), FColumns * FHeight * sizeof(std::int32_t));
        FMemory = std::move(Larger);
    }
    FColumns = Columns;
    FHeight = Height;
}

bool TValueColumns::operator==(const TValueColumns& Other) const {
    return FColumns == Other.FColumns && FHeight == Other.FHeight &&
           std::equal(Data(), Data() + FColumns * FHeight, Other.Data());
}
