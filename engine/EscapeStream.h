#pragma once

#include "engine/EscapeKernel.h"
#include "engine/EscapePair.h"
#include "engine/Extended.h"

#include <cstdint>
#include <functional>

// Runs escape jobs as they come, two orbits at once on the x87 unit, for a caller that
// wants their results in order: while the job it waits for runs on one lane, the next one
// runs on the other, so the unit's latency is filled. A job left unfinished on a lane when
// the wanted one ends carries on at the next call. Every result is bit for bit the one of
// the one-orbit loop (docs/engine-acceleration.md).
class TEscapeStream {
public:
    // Gives the next job in order, or nullptr when there is none yet. Jobs must stay where
    // they are until they are finished or the stream is reset.
    using TSupply = std::function<TEscapeJob*()>;

    // Forgets the jobs on the lanes (their results are no longer wanted) and sets the limit
    // for the jobs that follow.
    void Reset(Extended Limit);

    // Runs until Target is finished, taking jobs from Supply as lanes come free; Target is
    // on a lane or the next job Supply gives. False when Stop ended the run first; Target
    // is then left unfinished.
    bool RunUntil(TEscapeJob& Target, const TSupply& Supply, const std::function<bool()>& Stop);

private:
    struct TLaneJob {
        TEscapeJob* Job = nullptr;
        std::int32_t K = 0;
        std::int32_t NextSave = 0;
        std::int32_t Period = 0;
        Extended SI = 0;
    };

    bool RunAlone(int Lane, const std::function<bool()>& Stop);
    void Finish(int Lane, std::int32_t Steps, bool Escaped, std::int32_t Computed);
    bool OnLane(const TEscapeJob& Job) const;

    Extended FLimit = 0;
    bool FPairs = false; // whether the limit lets the pair run (see Reset)
    bool FFitsDouble = false;
    std::int32_t FUntilCheck = TEscapeKernel::StopCheckSteps;
    TPairLane FLanes[2] = {};
    TLaneJob FLaneJobs[2];
};
