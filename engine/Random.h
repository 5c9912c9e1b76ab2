#pragma once

#include "engine/Extended.h"

#include <cstdint>
#include <mutex>

// The process-wide pseudo-random generator: one sequence shared by every painter, so
// that a seed fixes the whole chain of views. It starts from a fixed state; the saver
// seeds it from the clock, the preview and the configuration dialog do not.
class TRandom {
public:
    static TRandom& Instance();

    // A uniform integer in [0, N); 0 for N <= 0 (the generator still advances).
    std::int32_t Random(std::int32_t N);
    // A uniform real in [0, 1).
    Extended RandomReal();

    void SetSeed(std::uint64_t Seed);
    void Randomize(); // seed from the clock
    void Reset();     // back to the fixed initial state

private:
    TRandom();
    std::uint32_t Next32();

    static constexpr std::uint64_t InitialState = 0x59737472656C6FULL;

    // Painters of separate panels may draw at the same time (the dialog's preview and
    // tests); each draw is one short critical section.
    std::mutex FLock;
    std::uint64_t FState;
};

inline std::int32_t Random(std::int32_t N) {
    return TRandom::Instance().Random(N);
}
inline Extended RandomReal() {
    return TRandom::Instance().RandomReal();
}
