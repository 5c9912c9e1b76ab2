#pragma once

#include "platform/PageMemory.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The painter's value of every pixel, one array of 32-bit values per column, the columns
// back to back in one allocation: column X is the run of Height values from X * Height.
// The refinement's passes run along rows as often as down columns, and with columns apart
// in memory every step along a row was a cache and TLB miss of its own.
class TValueColumns {
public:
    using TColumn = std::span<std::int32_t>;
    using TConstColumn = std::span<const std::int32_t>;

    // Lays out Columns columns of Height values. The count of columns never shrinks, so
    // that columns beyond the area keep what they hold while the height stays the same;
    // a new height lays the columns out afresh and their values are left undefined (a
    // paint sets all of its area first). Memory is only ever asked for more.
    void Resize(std::size_t Columns, std::size_t Height);

    std::size_t size() const { return FColumns; }
    std::size_t Height() const { return FHeight; }
    TColumn operator[](std::size_t X) { return {Column(X), FHeight}; }
    TConstColumn operator[](std::size_t X) const { return {Column(X), FHeight}; }

    // The sweep's view: unchecked, X * Height + Y.
    std::int32_t* Data() { return static_cast<std::int32_t*>(FMemory.Data()); }
    const std::int32_t* Data() const { return static_cast<const std::int32_t*>(FMemory.Data()); }

    // Same layout and the same values.
    bool operator==(const TValueColumns& Other) const;

private:
    std::int32_t* Column(std::size_t X) const {
        return static_cast<std::int32_t*>(FMemory.Data()) + X * FHeight;
    }

    TPageMemory FMemory;
    std::size_t FColumns = 0;
    std::size_t FHeight = 0;
};
