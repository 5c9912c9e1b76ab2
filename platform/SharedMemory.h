#pragma once

#include <cstddef>

// A block of System V shared memory, for pixels that the X server reads straight from our
// memory (MIT-SHM): the screen is refreshed without a copy on our side. Detached when the
// object goes; the segment itself is freed by the kernel once nobody has it attached
// after Release.
class TSharedMemory {
public:
    // Raises EYstreloError when the kernel gives none.
    explicit TSharedMemory(std::size_t Size);
    ~TSharedMemory();

    TSharedMemory(const TSharedMemory&) = delete;
    TSharedMemory& operator=(const TSharedMemory&) = delete;

    int Id() const { return FId; }
    void* Address() const { return FAddress; }
    std::size_t Size() const { return FSize; }
    // Marks the segment for removal once the other side has attached it: it then cannot
    // outlive both of us, however either ends.
    void Release();

private:
    int FId = -1;
    void* FAddress = nullptr;
    std::size_t FSize;
    bool FReleased = false;
};
