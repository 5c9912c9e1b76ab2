#pragma once

#include "engine/Extended.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// One escape iteration to run to its end: the point, the steps allowed, and the outcome.
struct TEscapeJob {
    Extended CX = 0;
    Extended CY = 0;
    std::int32_t Allowed = 0; // the calculation's starting Remaining
    // Out: the step at which it finished (its slice count), whether by escape (else by
    // running out of steps), and how many steps were really computed.
    std::int32_t Steps = 0;
    bool Escaped = false;
    std::int32_t Computed = 0;
    // False only for a job that Stop cut short: its other outputs are then meaningless.
    bool Finished = false;
};

// Runs escape iterations to the end with the very arithmetic of one calculation step
// (same operations, same order, 80-bit throughout), so each result is bit for bit the one
// that stepping would reach. What it adds is speed: orbits run two at a time with their
// state in the x87 registers (TEscapeStream), with no stores to memory between steps, and
// an orbit that returns exactly to an earlier point is known never to escape.
class TEscapeKernel {
public:
    // Steps between two looks at the stop request.
    static constexpr std::int32_t StopCheckSteps = 1 << 14;

    // Every job from z = 0 against Limit, or until Stop returns true.
    static void Run(TEscapeJob* Jobs, std::size_t Count, Extended Limit,
                    const std::function<bool()>& Stop);
    // One job whose first Skip steps are known not to have finished (they were tested
    // against earlier limits): they are recomputed untested, the rest tested against Limit,
    // until Stop returns true.
    static void RunFrom(TEscapeJob& Job, std::int32_t Skip, Extended Limit,
                        const std::function<bool()>& Stop);
};
