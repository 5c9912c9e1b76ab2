#pragma once

#include "engine/DeepNumbers.h"
#include "engine/EscapeKernel.h"
#include "engine/ReferenceOrbit.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// What a deep view keeps per number type: the reference orbit as that type holds it, the
// pixels' differences from the reference point, the table of bilinear approximations, and
// the iteration of one pixel against them (engine/DeepPixels.cpp).
class TDeepPixels {
public:
    // Built for one type; Automatic is not one.
    static std::unique_ptr<TDeepPixels> Make(TDeepNumbers Numbers);
    virtual ~TDeepPixels() = default;

    // Appends the orbit's current iterate as the next one held.
    virtual void AppendOrbit(const TReferenceOrbit& Orbit) = 0;
    // Iterates held, Z_0 included.
    virtual std::int32_t OrbitLength() const = 0;
    // The difference of column X's and row Y's points from the reference point.
    virtual void SetDifferences(const std::vector<TFloatExp>& X, const std::vector<TFloatExp>& Y,
                                const TFloatExp& ShiftX, const TFloatExp& ShiftY) = 0;
    // The table for the orbit held and escape bound Limit, the bound that Run tests; false,
    // and no table, when GoOn said no.
    virtual bool BuildTable(Extended Limit, const std::function<bool()>& GoOn) = 0;
    // The escape iteration of pixel (X, Y) from z = 0, as one calculation would step it:
    // the first Skip iterations are not tested, an escape of |z|^2 above the table's bound
    // ends it, and so does its Allowed-th iteration. Stop is asked every StopCheckSteps
    // steps; a job it cut short is left unfinished. Needs the table built.
    virtual void Run(TEscapeJob& Job, std::int32_t X, std::int32_t Y, std::int32_t Skip,
                     const std::function<bool()>& Stop) const = 0;

    virtual std::size_t TableEntries() const = 0;
    virtual std::size_t TableBytes() const = 0;
    virtual std::size_t OrbitBytes() const = 0;
};
