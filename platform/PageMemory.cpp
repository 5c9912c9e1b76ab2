#include "platform/PageMemory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace {
// The huge page size of x86-64, the only target (see the 80-bit type).
constexpr std::size_t HugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t Bytes) {
    if (Bytes > SIZE_MAX - HugePage)
        throw std::bad_alloc();
    return (Bytes + HugePage - 1) / HugePage * HugePage;
}
} // namespace

TPageMemory::TPageMemory(std::size_t Bytes) {
    if (Bytes == 0)
        return;
    const std::size_t Size = RoundUp(Bytes);
    // The kernel backs a range with a huge page only where the range covers one aligned
    // whole: map a page more than asked and trim both ends to the alignment.
    const std::size_t Mapped = Size + HugePage;
    void* Raw = mmap(nullptr, Mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (Raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto Start = reinterpret_cast<std::uintptr_t>(Raw);
    const std::uintptr_t Aligned = (Start + HugePage - 1) / HugePage * HugePage;
    if (Aligned > Start)
        munmap(Raw, Aligned - Start);
    const std::uintptr_t End = Start + Mapped;
    if (End > Aligned + Size)
        munmap(reinterpret_cast<void*>(Aligned + Size), End - (Aligned + Size));
    FData = reinterpret_cast<void*>(Aligned);
    FSize = Size;
    // Advice only: where the kernel gives no huge pages the memory works all the same.
    madvise(FData, FSize, MADV_HUGEPAGE);
}

TPageMemory::~TPageMemory() {
    Release();
}

TPageMemory::TPageMemory(TPageMemory&& Other) noexcept
    : FData(std::exchange(Other.FData, nullptr)), FSize(std::exchange(Other.FSize, 0)) {}

TPageMemory& TPageMemory::operator=(TPageMemory&& Other) noexcept {
    if (this != &Other) {
        Release();
        FData = std::exchange(Other.FData, nullptr);
        FSize = std::exchange(Other.FSize, 0);
    }
    return *this;
}

void TPageMemory::Release() {
    if (FData)
        munmap(FData, FSize);
    FData = nullptr;
    FSize = 0;
}
