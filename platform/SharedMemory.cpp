#include "platform/SharedMemory.h"

#include "platform/Errors.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace {
// Private to our user: the X server runs as root or as us.
constexpr int SegmentMode = 0600;
} // namespace

TSharedMemory::TSharedMemory(std::size_t Size) : FSize(Size) {
    FId = shmget(IPC_PRIVATE, Size, IPC_CREAT | SegmentMode);
    if (FId < 0)
        throw EYstreloError("no shared memory");
    FAddress = shmat(FId, nullptr, 0);
    if (FAddress == reinterpret_cast<void*>(-1)) {
        FAddress = nullptr;
        shmctl(FId, IPC_RMID, nullptr);
        throw EYstreloError("no shared memory");
    }
}

TSharedMemory::~TSharedMemory() {
    if (FAddress)
        shmdt(FAddress);
    Release();
}

void TSharedMemory::Release() {
    if (!FReleased && FId >= 0)
        shmctl(FId, IPC_RMID, nullptr);
    FReleased = true;
}
