#include "engine/EscapeKernel.h"

#include "engine/EscapeOrbit.h"
#include "engine/EscapeStream.h"

using namespace EscapeOrbit;

namespace {

template <typename TLimit>
void RunOneFrom(TEscapeJob& Job, std::int32_t Skip, TLimit Limit,
                const std::function<bool()>& Stop) {
    Job.Finished = false;
    Extended ZR = 0, ZI = 0, ZR2 = 0, ZI2 = 0;
    const Extended CX = Job.CX, CY = Job.CY;
    for (std::int32_t i = 0; i < Skip; ++i) {
        ZI = ZR * 2 * ZI + CY;
        ZR = ZR2 - ZI2 + CX;
        ZR2 = ZR * ZR;
        ZI2 = ZI * ZI;
        if ((i + 1) % TEscapeKernel::StopCheckSteps == 0 && Stop())
            return;
    }
    std::int32_t Remaining = Job.Allowed - Skip;
    std::int32_t UntilCheck = TEscapeKernel::StopCheckSteps;
    // The search starts at the first point tested against the new limit.
    const TOutcome Outcome =
        Orbit(ZR, ZI, ZR2, ZI2, CX, CY, ZR, ZI, Remaining, Limit, UntilCheck, Stop);
    if (Outcome != TOutcome::Stopped)
        Store(Job, Remaining, Outcome);
}

} // namespace

void TEscapeKernel::Run(TEscapeJob* Jobs, std::size_t Count, Extended Limit,
                        const std::function<bool()>& Stop) {
    for (std::size_t i = 0; i < Count; ++i)
        Jobs[i].Finished = false;
    TEscapeStream Stream;
    Stream.Reset(Limit);
    std::size_t Next = 0;
    const TEscapeStream::TSupply Supply = [&]() -> TEscapeJob* {
        return Next < Count ? &Jobs[Next++] : nullptr;
    };
    for (std::size_t i = 0; i < Count; ++i)
        if (!Stream.RunUntil(Jobs[i], Supply, Stop))
            return;
}

void TEscapeKernel::RunFrom(TEscapeJob& Job, std::int32_t Skip, Extended Limit,
                            const std::function<bool()>& Stop) {
    if (FitsDouble(Limit))
        RunOneFrom(Job, Skip, static_cast<double>(Limit), Stop);
    else
        RunOneFrom(Job, Skip, Limit, Stop);
}
