#pragma once

#include "engine/EscapeKernel.h"

#include <algorithm>
#include <cstdint>

// The one-orbit loop shared by the kernel and the stream; internal to the engine.
namespace EscapeOrbit {

// Longest stretch between two saved points of the cycle search.
constexpr std::int32_t MaxPeriod = 1 << 30;

enum class TOutcome { Escaped, Exhausted, Periodic, Stopped };

// One orbit from the given state to its end. Everything the inner loop touches is a local
// scalar, so the iterates, the point and the limit live in the eight x87 registers; only
// the saved point is reloaded each step, and nothing is stored. (Two orbits at once need
// hand-written code, TEscapeStream's, since compiled code spills them to memory.)
//
// Brent's cycle search: the orbit is compared at every step with a saved point, which
// moves on after Period steps, Period doubling each time. An exact return means the orbit
// is periodic from there: every point of the period has passed the escape test, so none
// ever escapes. Equality is numeric, so +0 and -0 count as one point; that is sound
// because a zero's sign never reaches a non-zero value of this iteration.
template <typename TLimit, typename TStop>
inline TOutcome Orbit(Extended ZR, Extended ZI, Extended ZR2, Extended ZI2, const Extended CX,
                      const Extended CY, Extended SR, Extended SI, std::int32_t& Remaining,
                      const TLimit Limit, std::int32_t& UntilCheck, TStop&& Stop) {
    // The three countdowns (steps left, next move of the saved point, next look at the stop
    // request) share one counter that runs to the nearest of them, so a step pays for one
    // decrement and one branch instead of three.
    std::int32_t Left = Remaining;
    std::int32_t Countdown = 1;
    std::int32_t Period = 1;
    std::int32_t Check = UntilCheck;
    // A job allowed no steps still takes one, then finds itself exhausted.
    auto SpanOf = [&] { return std::min({Countdown, Check, std::max(Left, 1)}); };
    std::int32_t Span = SpanOf();
    std::int32_t Event = Span;
    TOutcome Outcome;
    for (;;) {
        ZI = ZR * 2 * ZI + CY;
        ZR = ZR2 - ZI2 + CX;
        ZR2 = ZR * ZR;
        ZI2 = ZI * ZI;
        --Event;
        if (ZR2 + ZI2 > Extended(Limit)) [[unlikely]] {
            Outcome = TOutcome::Escaped;
            break;
        }
        if (Event == 0) [[unlikely]] {
            Left -= Span;
            Countdown -= Span;
            Check -= Span;
            Span = 0; // all counted
            if (Left <= 0) {
                Outcome = TOutcome::Exhausted;
                break;
            }
        }
        // Equality of the real parts is rare enough that the imaginary parts are compared
        // only then, which keeps the saved imaginary part out of the registers.
        if (ZR == SR) [[unlikely]]
            if (ZI == SI) {
                Outcome = TOutcome::Periodic;
                break;
            }
        if (Event == 0) [[unlikely]] {
            if (Countdown == 0) {
                SR = ZR;
                SI = ZI;
                if (Period < MaxPeriod)
                    Period *= 2;
                Countdown = Period;
            }
            if (Check == 0) {
                if (Stop()) {
                    Outcome = TOutcome::Stopped;
                    break;
                }
                Check = TEscapeKernel::StopCheckSteps;
            }
            Span = Event = SpanOf();
        }
    }
    // Steps taken in the span cut short.
    const std::int32_t Done = Span - Event;
    Remaining = Left - Done;
    // An orbit ending on the step due for a look leaves the look to the next orbit's first.
    UntilCheck = std::max(Check - Done, 1);
    return Outcome;
}

inline void Store(TEscapeJob& Job, std::int32_t Remaining, TOutcome Outcome) {
    const std::int32_t Taken = Job.Allowed - Remaining;
    Job.Computed = Taken;
    Job.Finished = true;
    Job.Escaped = Outcome == TOutcome::Escaped;
    // A periodic orbit would run on until its steps are used up, exactly as exhaustion.
    Job.Steps = Outcome == TOutcome::Periodic ? Job.Allowed : Taken;
}

// The limit is reloaded from memory every step (the registers are full), and an 80-bit load
// costs several times a 64-bit one; a limit that double holds exactly compares the same
// after widening, so it is then kept as a double.
inline bool FitsDouble(Extended Limit) {
    return Extended(static_cast<double>(Limit)) == Limit;
}

} // namespace EscapeOrbit
