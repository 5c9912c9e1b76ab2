#include "engine/EscapeStream.h"

#include "engine/EscapeOrbit.h"
#include "engine/EscapePair.h"
#include "platform/Errors.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

using namespace EscapeOrbit;

namespace {

// The pair's first saved point after z_0 = 0. Each move of the saved point costs the pair
// a trip out of its loop, and most orbits escape within a few dozen steps; a later start
// only delays finding a repeat by as many steps.
constexpr std::int32_t PairFirstSave = 32;

} // namespace

void TEscapeStream::Reset(Extended Limit) {
    FLimit = Limit;
    // The pair starts every orbit at z_0 = 0 and tests it, which only a limit of 0 or more
    // lets pass as stepping would; under an infinite limit orbits can run into NaN, which
    // the pair's comparison would take for a possible repeat at every step.
    FPairs = Limit >= 0 && std::isfinite(Limit);
    FFitsDouble = FitsDouble(Limit);
    FUntilCheck = TEscapeKernel::StopCheckSteps;
    FLaneJobs[0] = {};
    FLaneJobs[1] = {};
}

bool TEscapeStream::OnLane(const TEscapeJob& Job) const {
    return FLaneJobs[0].Job == &Job || FLaneJobs[1].Job == &Job;
}

void TEscapeStream::Finish(int Lane, std::int32_t Steps, bool Escaped, std::int32_t Computed) {
    TEscapeJob& Job = *FLaneJobs[Lane].Job;
    Job.Steps = Steps;
    Job.Escaped = Escaped;
    Job.Computed = Computed;
    Job.Finished = true;
    FLaneJobs[Lane] = {};
}

bool TEscapeStream::RunUntil(TEscapeJob& Target, const TSupply& Supply,
                             const std::function<bool()>& Stop) {
    for (;;) {
        if (Target.Finished)
            return true;
        // Free lanes take the next jobs in order; one the pair cannot run is run at once.
        bool Supplied = true;
        for (int Lane = 0; Lane < 2 && Supplied && !Target.Finished; ++Lane) {
            while (Supplied && FLaneJobs[Lane].Job == nullptr && !Target.Finished) {
                TEscapeJob* Job = Supply();
                Supplied = Job != nullptr;
                if (!Supplied)
                    break;
                Job->Finished = false;
                FLaneJobs[Lane].Job = Job;
                if (FPairs && Job->Allowed >= 1 && std::isfinite(Job->CX) &&
                    std::isfinite(Job->CY)) {
                    FLaneJobs[Lane].NextSave = PairFirstSave;
                    FLaneJobs[Lane].Period = PairFirstSave;
                    // z_0 = 0 is the first saved point: it never escapes under a limit >= 0.
                    FLanes[Lane] = {0, 0, Job->CX, Job->CY, 0};
                } else if (!RunAlone(Lane, Stop)) {
                    return false;
                }
            }
        }
        if (Target.Finished)
            return true;
        const bool BusyA = FLaneJobs[0].Job != nullptr;
        const bool BusyB = FLaneJobs[1].Job != nullptr;
        Assert(OnLane(Target), "TEscapeStream.RunUntil: the job waited for was never supplied");
        if (!BusyA || !BusyB) {
            // Nothing more to pair it with: it finishes faster alone than beside an empty lane.
            if (!RunAlone(BusyA ? 0 : 1, Stop))
                return false;
            continue;
        }
        std::int32_t Count[2];
        for (int Lane = 0; Lane < 2; ++Lane) {
            const TLaneJob& L = FLaneJobs[Lane];
            Count[Lane] = std::min({L.Job->Allowed + 1 - L.K, L.NextSave - L.K, FUntilCheck});
        }
        const std::int32_t Started[2] = {Count[0], Count[1]};
        const int Exit = RunPair<true>(FLanes[0], FLanes[1], FLimit, Count[0], Count[1]);
        FLaneJobs[0].K += Started[0] - Count[0];
        FLaneJobs[1].K += Started[1] - Count[1];
        FUntilCheck -= std::max(Started[0] - Count[0], Started[1] - Count[1]);
        const int Lane = Exit <= RepeatA ? 0 : 1;
        TLaneJob& L = FLaneJobs[Lane];
        TPairLane& S = FLanes[Lane];
        if (Exit == EscapedA || Exit == EscapedB) {
            // The escaping micro-step was not counted: K is the step that escaped.
            Finish(Lane, L.K, true, L.K);
        } else if (L.K > L.Job->Allowed) {
            Finish(Lane, L.Job->Allowed, false, L.Job->Allowed);
        } else if (S.ZR == S.SR && S.ZI == L.SI) {
            // Periodic (the loop skips the comparison where it counts out, so it is made
            // here too): it would run on until its steps are used up.
            Finish(Lane, L.Job->Allowed, false, L.K);
        } else if (L.K == L.NextSave) {
            S.SR = S.ZR;
            L.SI = S.ZI;
            L.Period = std::min(L.Period * 2, MaxPeriod);
            L.NextSave = L.K + L.Period;
        }
        if (FUntilCheck <= 0) {
            if (Stop())
                return false;
            FUntilCheck = TEscapeKernel::StopCheckSteps;
        }
    }
}

bool TEscapeStream::RunAlone(int Lane, const std::function<bool()>& Stop) {
    TLaneJob& L = FLaneJobs[Lane];
    TEscapeJob& Job = *L.Job;
    std::int32_t Remaining = Job.Allowed;
    TOutcome Outcome;
    if (!FPairs || L.K == 0) {
        // From z_0 = 0, untested as in a step.
        const Extended CX = Job.CX, CY = Job.CY;
        Outcome = FFitsDouble
                      ? Orbit(0, 0, 0, 0, CX, CY, 0, 0, Remaining, static_cast<double>(FLimit),
                              FUntilCheck, Stop)
                      : Orbit(0, 0, 0, 0, CX, CY, 0, 0, Remaining, FLimit, FUntilCheck, Stop);
    } else {
        // From the lane's z_K, which the pair has not tested yet.
        const TPairLane& S = FLanes[Lane];
        const Extended ZR2 = S.ZR * S.ZR;
        const Extended ZI2 = S.ZI * S.ZI;
        if (ZR2 + ZI2 > FLimit) {
            Finish(Lane, L.K, true, L.K);
            return true;
        }
        if (L.K >= Job.Allowed) {
            Finish(Lane, Job.Allowed, false, L.K);
            return true;
        }
        Remaining = Job.Allowed - L.K;
        Outcome = FFitsDouble ? Orbit(S.ZR, S.ZI, ZR2, ZI2, S.CX, S.CY, S.ZR, S.ZI, Remaining,
                                      static_cast<double>(FLimit), FUntilCheck, Stop)
                              : Orbit(S.ZR, S.ZI, ZR2, ZI2, S.CX, S.CY, S.ZR, S.ZI, Remaining,
                                      FLimit, FUntilCheck, Stop);
    }
    if (Outcome == TOutcome::Stopped)
        return false;
    Store(Job, Remaining, Outcome);
    FLaneJobs[Lane] = {};
    return true;
}
