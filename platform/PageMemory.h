#pragma once

#include <cstddef>

// Zeroed memory straight from the kernel, on huge pages where it gives them. A painter's
// per-pixel values are kept column by column and its passes also run along rows, so a
// step along a row lands a column further on: with 4 KiB pages nearly every such step
// would miss the TLB, with 2 MiB pages a few hundred columns share one entry.
class TPageMemory {
public:
    TPageMemory() = default;
    // Raises std::bad_alloc when the kernel refuses, as new would.
    explicit TPageMemory(std::size_t Bytes);
    ~TPageMemory();

    TPageMemory(TPageMemory&& Other) noexcept;
    TPageMemory& operator=(TPageMemory&& Other) noexcept;
    TPageMemory(const TPageMemory&) = delete;
    TPageMemory& operator=(const TPageMemory&) = delete;

    void* Data() const { return FData; }
    std::size_t Size() const { return FSize; }

private:
    void Release();

    void* FData = nullptr;
    std::size_t FSize = 0;
};
