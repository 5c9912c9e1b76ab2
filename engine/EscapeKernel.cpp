#include "engine/EscapeKernel.h"

#include <algorithm>

namespace {

// Longest stretch between two saved points of the cycle search.
constexpr std::int32_t MaxPeriod = 1 << 30;

enum class TOutcome { Escaped, Exhausted, Periodic, Stopped };

// One orbit from the given state to its end. Everything the inner loop touches is a local
// scalar, so the iterates, the point and the limit live in the eight x87 registers; only
// the saved point is reloaded each step, and nothing is stored. (Interleaving two orbits
// needs twice the registers and spills, which costs more than the latency it hides.)
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

void Store(TEscapeJob& Job, std::int32_t Remaining, TOutcome Outcome) {
    const std::int32_t Taken = Job.Allowed - Remaining;
    Job.Computed = Taken;
    Job.Finished = true;
    Job.Escaped = Outcome == TOutcome::Escaped;
    // A periodic orbit would run on until its steps are used up, exactly as exhaustion.
    Job.Steps = Outcome == TOutcome::Periodic ? Job.Allowed : Taken;
}

template <typename TLimit>
void RunAll(TEscapeJob* Jobs, std::size_t Count, TLimit Limit, const std::function<bool()>& Stop) {
    for (std::size_t i = 0; i < Count; ++i)
        Jobs[i].Finished = false;
    // The stop countdown runs on across jobs, so many short orbits still look at the
    // request only once per StopCheckSteps steps.
    std::int32_t UntilCheck = TEscapeKernel::StopCheckSteps;
    for (std::size_t i = 0; i < Count; ++i) {
        TEscapeJob& Job = Jobs[i];
        std::int32_t Remaining = Job.Allowed;
        const TOutcome Outcome =
            Orbit(0, 0, 0, 0, Job.CX, Job.CY, 0, 0, Remaining, Limit, UntilCheck, Stop);
        if (Outcome == TOutcome::Stopped)
            return;
        Store(Job, Remaining, Outcome);
    }
}

template <typename TLimit> void RunOneFrom(TEscapeJob& Job, std::int32_t Skip, TLimit Limit) {
    Extended ZR = 0, ZI = 0, ZR2 = 0, ZI2 = 0;
    const Extended CX = Job.CX, CY = Job.CY;
    for (std::int32_t i = 0; i < Skip; ++i) {
        ZI = ZR * 2 * ZI + CY;
        ZR = ZR2 - ZI2 + CX;
        ZR2 = ZR * ZR;
        ZI2 = ZI * ZI;
    }
    std::int32_t Remaining = Job.Allowed - Skip;
    std::int32_t UntilCheck = TEscapeKernel::StopCheckSteps;
    // The search starts at the first point tested against the new limit.
    const TOutcome Outcome =
        Orbit(ZR, ZI, ZR2, ZI2, CX, CY, ZR, ZI, Remaining, Limit, UntilCheck, [] { return false; });
    Store(Job, Remaining, Outcome);
}

// The limit is reloaded from memory every step (the registers are full), and an 80-bit load
// costs several times a 64-bit one; a limit that double holds exactly compares the same
// after widening, so it is then kept as a double.
bool FitsDouble(Extended Limit) {
    return Extended(static_cast<double>(Limit)) == Limit;
}

} // namespace

void TEscapeKernel::Run(TEscapeJob* Jobs, std::size_t Count, Extended Limit,
                        const std::function<bool()>& Stop) {
    if (FitsDouble(Limit))
        RunAll(Jobs, Count, static_cast<double>(Limit), Stop);
    else
        RunAll(Jobs, Count, Limit, Stop);
}

void TEscapeKernel::RunFrom(TEscapeJob& Job, std::int32_t Skip, Extended Limit) {
    if (FitsDouble(Limit))
        RunOneFrom(Job, Skip, static_cast<double>(Limit));
    else
        RunOneFrom(Job, Skip, Limit);
}
