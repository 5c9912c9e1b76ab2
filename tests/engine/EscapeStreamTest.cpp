// The two-orbit stream must give each job the result of stepping it alone, whatever the
// limit, the point and the steps allowed, and however the jobs come to it.
#include "engine/EscapeStream.h"
#include "EngineTestSupport.h"
#include "engine/Random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <vector>

namespace {

std::deque<TEscapeJob> MixedJobs() {
    constexpr Extended Inf = std::numeric_limits<Extended>::infinity();
    constexpr Extended NaN = std::numeric_limits<Extended>::quiet_NaN();
    TRandom::Instance().SetSeed(4242);
    std::deque<TEscapeJob> Jobs;
    const std::int32_t Ages[] = {0, 1, 2, 3, 31, 32, 33, 700, 2500};
    for (int i = 0; i < 160; ++i)
        Jobs.push_back({RandomReal() * 2.6L - 2.1L, RandomReal() * 1.3L - 0.1L,
                        Ages[Random(std::size(Ages))]});
    // Exact repeats of period 1 and 2 (also through z_0 = 0), a cusp that converges too
    // slowly to repeat, points just outside that escape after thousands of steps, points on
    // the imaginary axis whose real part returns to 0 while the imaginary one does not,
    // points that are not finite, and -0.
    for (const TEscapeJob& Special :
         {TEscapeJob{0, 0, 900}, TEscapeJob{-1, 0, 900}, TEscapeJob{-0.75L, 0, 900},
          TEscapeJob{0.25L, 0, 300}, TEscapeJob{0.250001L, 0, 5000},
          TEscapeJob{-0.75L, 0.001L, 5000}, TEscapeJob{0, 1.5L, 100}, TEscapeJob{0, -0.6L, 3000},
          TEscapeJob{Inf, 0, 50}, TEscapeJob{NaN, 0.5L, 50}, TEscapeJob{-0.0L, -0.0L, 40},
          TEscapeJob{-2, 0, 5}})
        Jobs.insert(Jobs.begin() + Random(static_cast<std::int32_t>(Jobs.size())), Special);
    return Jobs;
}

TEST(EscapeStream, EachJobGetsItsSteppingResultWhateverTheLimitAndTheSupply) {
    const Extended Limits[] = {4,
                               10000,
                               0,
                               1e-30L,
                               1e4000L,
                               -1,
                               std::numeric_limits<Extended>::infinity(),
                               std::numeric_limits<Extended>::quiet_NaN()};
    // How far the supply may run ahead of the job waited for: 0 leaves the pair without a
    // partner, 1 and 5 leave unfinished jobs on a lane from one wait to the next.
    for (const std::size_t Window : {0u, 1u, 5u, 1000u})
        for (const Extended Limit : Limits) {
            std::deque<TEscapeJob> Jobs = MixedJobs();
            TEscapeStream Stream;
            Stream.Reset(Limit);
            std::size_t Waiting = 0, Next = 0;
            const TEscapeStream::TSupply Supply = [&]() -> TEscapeJob* {
                if (Next >= Jobs.size() || Next > Waiting + Window)
                    return nullptr;
                return &Jobs[Next++];
            };
            for (; Waiting < Jobs.size(); ++Waiting) {
                TEscapeJob& Job = Jobs[Waiting];
                ASSERT_TRUE(Stream.RunUntil(Job, Supply, [] { return false; }));
                const TStepped Expected = Stepping(Job.CX, Job.CY, Job.Allowed, Limit);
                ASSERT_TRUE(Job.Finished);
                EXPECT_EQ(Job.Steps, Expected.Steps)
                    << "job " << Waiting << " limit " << static_cast<double>(Limit) << " window "
                    << Window << " c " << static_cast<double>(Job.CX) << ", "
                    << static_cast<double>(Job.CY) << " allowed " << Job.Allowed;
                EXPECT_EQ(Job.Escaped, Expected.Escaped) << "job " << Waiting;
                EXPECT_LE(Job.Computed, Expected.Steps) << "job " << Waiting;
            }
        }
}

TEST(EscapeStream, ResetForgetsTheJobsOnTheLanesAndStopLeavesTheWaitedJobUnfinished) {
    std::deque<TEscapeJob> Old(3, TEscapeJob{0.25L, 0, 1 << 30});
    std::deque<TEscapeJob> New{{-2.5L, 0, 10}, {0.3L, 0.5L, 100}};
    TEscapeStream Stream;
    Stream.Reset(4);
    std::size_t Next = 0;
    int Looks = 0;
    // Both lanes hold an endless job when the stop comes.
    EXPECT_FALSE(Stream.RunUntil(
        Old[0], [&]() -> TEscapeJob* { return Next < Old.size() ? &Old[Next++] : nullptr; },
        [&] { return ++Looks == 2; }));
    EXPECT_FALSE(Old[0].Finished);
    EXPECT_FALSE(Old[1].Finished);
    // After a reset the lanes are free for new jobs and never touch the old ones again.
    Old.clear();
    Stream.Reset(4);
    Next = 0;
    const TEscapeStream::TSupply Supply = [&]() -> TEscapeJob* {
        return Next < New.size() ? &New[Next++] : nullptr;
    };
    for (TEscapeJob& Job : New) {
        ASSERT_TRUE(Stream.RunUntil(Job, Supply, [] { return false; }));
        const TStepped Expected = Stepping(Job.CX, Job.CY, Job.Allowed, 4);
        EXPECT_EQ(Job.Steps, Expected.Steps);
        EXPECT_EQ(Job.Escaped, Expected.Escaped);
    }
}

} // namespace
