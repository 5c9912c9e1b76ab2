#include "platform/Wakeup.h"

#include "platform/Errors.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

TWakeup::TWakeup() : FFile(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (FFile < 0)
        throw EYstreloError("cannot create a wake-up event");
}

TWakeup::~TWakeup() {
    close(FFile);
}

void TWakeup::Notify() {
    const std::uint64_t One = 1;
    // A full counter (never in practice) already means "readable": nothing is lost.
    [[maybe_unused]] const ssize_t Written = write(FFile, &One, sizeof One);
}

void TWakeup::Clear() {
    std::uint64_t Count;
    [[maybe_unused]] const ssize_t Read = read(FFile, &Count, sizeof Count);
}
