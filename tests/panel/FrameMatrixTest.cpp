#include "panel/FrameMatrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {
// Cells follow each other without gap or overlap, cover the whole length and differ
// in size by at most one pixel.
void ExpectExactCover(const std::vector<TMatrixSpan>& Spans, std::int32_t Length) {
    std::int32_t Next = 0;
    for (const auto& Span : Spans) {
        EXPECT_EQ(Span.Start, Next);
        Next = Span.End();
    }
    EXPECT_EQ(Next, Length);
    const auto [Min, Max] = std::minmax_element(Spans.begin(), Spans.end(),
                                                [](auto A, auto B) { return A.Size < B.Size; });
    EXPECT_LE(Max->Size - Min->Size, 1);
}
} // namespace

TEST(FrameMatrix, BothRulesCoverEveryLengthExactly) {
    for (std::int32_t Count = 1; Count <= 10; ++Count)
        for (std::int32_t Length : {0, 1, 9, 10, 11, 99, 768, 1023, 1920, 2561, 7680}) {
            SCOPED_TRACE(testing::Message() << Length << " by " << Count);
            ExpectExactCover(ForwardDivision(Length, Count), Length);
            ExpectExactCover(BackwardDivision(Length, Count), Length);
        }
}

TEST(FrameMatrix, CountBelowOneGivesNoCells) {
    EXPECT_TRUE(ForwardDivision(100, 0).empty());
    EXPECT_TRUE(BackwardDivision(100, -3).empty());
    EXPECT_TRUE(SpiralOrder(0, 3).empty());
    EXPECT_TRUE(SpiralOrder(3, -1).empty());
}

TEST(FrameMatrix, SpiralVisitsEveryCellOnceInNeighbourSteps) {
    for (std::int32_t Wide = 1; Wide <= 10; ++Wide)
        for (std::int32_t High = 1; High <= 10; ++High) {
            SCOPED_TRACE(testing::Message() << Wide << " x " << High);
            const auto Cells = SpiralOrder(Wide, High);
            ASSERT_EQ(Cells.size(), static_cast<std::size_t>(Wide * High));
            std::set<std::pair<int, int>> Seen;
            for (std::size_t i = 0; i < Cells.size(); ++i) {
                EXPECT_TRUE(Cells[i].Row >= 0 && Cells[i].Row < High);
                EXPECT_TRUE(Cells[i].Column >= 0 && Cells[i].Column < Wide);
                EXPECT_TRUE(Seen.insert({Cells[i].Row, Cells[i].Column}).second);
                if (i > 0) {
                    const int Step = std::abs(Cells[i].Row - Cells[i - 1].Row) +
                                     std::abs(Cells[i].Column - Cells[i - 1].Column);
                    EXPECT_EQ(Step, 1);
                }
            }
        }
}
