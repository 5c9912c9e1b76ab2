#include "engine/EscapeKernel.h"

namespace {

// Longest stretch between two saved points of the cycle search.
constexpr std::int32_t MaxPeriod = 1 << 30;

// The state of one orbit in flight. Kept in locals by the loops below (the compiler
// scalarises it), so nothing of it touches memory between steps.
struct TLane {
    Extended ZR, ZI, ZR2, ZI2, CX, CY;
    // Brent's cycle search: the orbit is compared at every step with a saved point, which
    // moves on after Period steps, Period doubling each time. An exact return means the
    // orbit is periodic from there: every point of the period has passed the escape test,
    // so none ever escapes. Equality is numeric, so +0 and -0 count as one point; that is
    // sound because a zero's sign never reaches a non-zero value of this iteration.
    Extended SR, SI;
    std::int32_t Remaining, Countdown, Period;
    TEscapeJob* Job;
};

enum class TOutcome { Running, Escaped, Exhausted, Periodic };

inline void Load(TLane& L, TEscapeJob& Job) {
    L.ZR = L.ZI = L.ZR2 = L.ZI2 = 0;
    L.CX = Job.CX;
    L.CY = Job.CY;
    L.SR = L.SI = 0;
    L.Remaining = Job.Allowed;
    L.Countdown = L.Period = 1;
    L.Job = &Job;
}

inline TOutcome Step(TLane& L, Extended Limit) {
    L.ZI = L.ZR * 2 * L.ZI + L.CY;
    L.ZR = L.ZR2 - L.ZI2 + L.CX;
    L.ZR2 = L.ZR * L.ZR;
    L.ZI2 = L.ZI * L.ZI;
    --L.Remaining;
    if (L.ZR2 + L.ZI2 > Limit) [[unlikely]]
        return TOutcome::Escaped;
    if (L.Remaining <= 0) [[unlikely]]
        return TOutcome::Exhausted;
    if (L.ZR == L.SR && L.ZI == L.SI) [[unlikely]]
        return TOutcome::Periodic;
    if (--L.Countdown == 0) [[unlikely]] {
        L.SR = L.ZR;
        L.SI = L.ZI;
        if (L.Period < MaxPeriod)
            L.Period *= 2;
        L.Countdown = L.Period;
    }
    return TOutcome::Running;
}

inline void Store(const TLane& L, TOutcome Outcome) {
    TEscapeJob& Job = *L.Job;
    const std::int32_t Taken = Job.Allowed - L.Remaining;
    Job.Computed = Taken;
    Job.Finished = true;
    Job.Escaped = Outcome == TOutcome::Escaped;
    // A periodic orbit would run on until its steps are used up, exactly as exhaustion.
    Job.Steps = Outcome == TOutcome::Periodic ? Job.Allowed : Taken;
}

void Finish(TLane& L, Extended Limit) {
    for (;;)
        if (const TOutcome Outcome = Step(L, Limit); Outcome != TOutcome::Running) {
            Store(L, Outcome);
            return;
        }
}

} // namespace

void TEscapeKernel::Run(TEscapeJob* Jobs, std::size_t Count, Extended Limit,
                        const std::function<bool()>& Stop) {
    for (std::size_t i = 0; i < Count; ++i)
        Jobs[i].Finished = false;
    if (Count == 0)
        return;
    std::size_t Next = 0;
    TLane A, B;
    Load(A, Jobs[Next++]);
    bool PairRunning = Next < Count;
    if (PairRunning)
        Load(B, Jobs[Next++]);
    std::int32_t UntilCheck = StopCheckSteps;
    // Two independent orbits per turn: each step is one long dependency chain, and the
    // other orbit's arithmetic fills its latency.
    while (PairRunning) {
        const TOutcome OA = Step(A, Limit);
        const TOutcome OB = Step(B, Limit);
        if (OA != TOutcome::Running) [[unlikely]] {
            Store(A, OA);
            if (Next == Count) {
                if (OB != TOutcome::Running) {
                    Store(B, OB);
                    return;
                }
                A = B;
                PairRunning = false;
                break;
            }
            Load(A, Jobs[Next++]);
        }
        if (OB != TOutcome::Running) [[unlikely]] {
            Store(B, OB);
            if (Next == Count) {
                PairRunning = false;
                break;
            }
            Load(B, Jobs[Next++]);
        }
        if (--UntilCheck == 0) [[unlikely]] {
            if (Stop())
                return;
            UntilCheck = StopCheckSteps;
        }
    }
    // The last orbit alone.
    for (;;) {
        if (const TOutcome Outcome = Step(A, Limit); Outcome != TOutcome::Running) {
            Store(A, Outcome);
            return;
        }
        if (--UntilCheck == 0) [[unlikely]] {
            if (Stop())
                return;
            UntilCheck = StopCheckSteps;
        }
    }
}

void TEscapeKernel::RunFrom(TEscapeJob& Job, std::int32_t Skip, Extended Limit) {
    TLane L;
    Load(L, Job);
    for (std::int32_t i = 0; i < Skip; ++i) {
        L.ZI = L.ZR * 2 * L.ZI + L.CY;
        L.ZR = L.ZR2 - L.ZI2 + L.CX;
        L.ZR2 = L.ZR * L.ZR;
        L.ZI2 = L.ZI * L.ZI;
        --L.Remaining;
    }
    // The search starts at the first point tested against the new limit.
    L.SR = L.ZR;
    L.SI = L.ZI;
    Finish(L, Limit);
}
