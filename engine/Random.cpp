#include "engine/Random.h"

#include <chrono>

TRandom& TRandom::Instance() {
    static TRandom Generator;
    return Generator;
}

TRandom::TRandom() : FState(InitialState) {}

// SplitMix64: full period over 64 bits, passes BigCrush, one multiply-xorshift chain.
std::uint32_t TRandom::Next32() {
    FState += 0x9E3779B97F4A7C15ULL;
    std::uint64_t Z = FState;
    Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<std::uint32_t>((Z ^ (Z >> 31)) >> 32);
}

std::int32_t TRandom::Random(std::int32_t N) {
    std::lock_guard Guard(FLock);
    const std::uint64_t R = Next32();
    if (N <= 0)
        return 0;
    // Multiply-shift maps 32 random bits onto [0, N) with a bias below 2^-32 * N.
    return static_cast<std::int32_t>((R * static_cast<std::uint64_t>(N)) >> 32);
}

Extended TRandom::RandomReal() {
    std::lock_guard Guard(FLock);
    const std::uint64_t High = Next32();
    const std::uint64_t Low = Next32();
    // 64 random bits fill the extended mantissa exactly; the result is < 1.
    const std::uint64_t Bits = (High << 32) | Low;
    return static_cast<Extended>(Bits) / 18446744073709551616.0L;
}

void TRandom::SetSeed(std::uint64_t Seed) {
    std::lock_guard Guard(FLock);
    FState = Seed;
}

void TRandom::Randomize() {
    SetSeed(
        static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

void TRandom::Reset() {
    SetSeed(InitialState);
}
