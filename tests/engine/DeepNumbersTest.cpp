// The numbers of the deep zoom: a double's mantissa with an exponent of its own, and MPFR
// numbers as text.
#include "engine/BigReal.h"
#include "engine/FloatExp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

TEST(FloatExp, ComputesFarBeyondTheRangeOfThe80BitType) {
    const TFloatExp Tiny(0.75, -100000); // 0.75 x 2^-100000
    const TFloatExp Square = Tiny * Tiny;
    EXPECT_EQ(Square.Mantissa(), 0.5625);
    EXPECT_EQ(Square.Exponent(), -200000);
    EXPECT_EQ((Square / Tiny), Tiny);
    EXPECT_EQ(Sqrt(Square), Tiny);
    EXPECT_EQ(Tiny - Tiny, TFloatExp());
    // Addends more than 60 binary places apart: the smaller one changes nothing.
    EXPECT_EQ(TFloatExp(1.0) + Tiny, TFloatExp(1.0));
    EXPECT_EQ((Tiny + Tiny).Exponent(), Tiny.Exponent() + 1);
    EXPECT_EQ(Tiny.ToExtended(), 0.0L);
    EXPECT_EQ(TFloatExp(0.75, -16000).ToExtended(), std::ldexp(0.75L, -16000));
    EXPECT_EQ(TFloatExp(3.0L).ToDouble(), 3.0);
}

TEST(FloatExp, OrdersBySignExponentAndMantissaAndLeavesANaNUnordered) {
    const TFloatExp Small(0.5, -5000), Large(0.5, 5000), Zero;
    EXPECT_LT(Small, Large);
    EXPECT_LT(-Large, -Small);
    EXPECT_LT(Zero, Small);
    EXPECT_LT(-Small, Zero);
    EXPECT_LT(Large, TFloatExp(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(Abs(-Large), Large);
    const TFloatExp NaN(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(NaN < Small || Small < NaN || NaN > Small || Small > NaN || NaN == NaN);
}

TEST(BigReal, TextReadsBackToTheLastBit) {
    for (const char* Text : {"0", "4", "-0.5", "1e-300", "0.1", "-123456.789e-1000",
                             "1.00000000000000000000000000000000000000000000000000000000000021"}) {
        const TBigReal Value = TBigReal::Parse(Text);
        const TBigReal Again = TBigReal::Parse(Value.Text());
        // Read at the precision its digits need, which may hold a bit or two more.
        TBigReal Difference(Again.Precision() + Value.Precision());
        mpfr_sub(Difference.Get(), Again.Get(), Value.Get(), MPFR_RNDN);
        EXPECT_TRUE(Difference.IsZero() ||
                    Difference.Exponent() <= Value.Exponent() - Value.Precision())
            << Text << " -> " << Value.Text();
    }
    EXPECT_EQ(TBigReal::Parse("4").Text(), "4");
    EXPECT_EQ(TBigReal::Parse("-0.5").Text(), "-0.5");
    for (const char* Bad : {"", "x", "0x1p3", "inf", "nan", "@nan@", "1e", "1,5", "--1"})
        EXPECT_THROW(TBigReal::Parse(Bad), std::invalid_argument) << Bad;
}

TEST(BigReal, AddsWithoutRounding) {
    TBigReal Sum = TBigReal::Of(1.0L);
    Sum.AddExactly(TBigReal::Of(TFloatExp(0.75, -3000)));
    Sum.AddExactly(TBigReal::Of(TFloatExp(-0.75, -3000)));
    EXPECT_EQ(mpfr_cmp_ui(Sum.Get(), 1), 0);
    Sum.AddExactly(TBigReal::Of(TFloatExp(0.5, -4000)));
    EXPECT_GT(Sum.Precision(), 4000);
    Sum.AddExactly(TBigReal::Of(-1.0L));
    EXPECT_EQ(Sum.ToFloatExp(), TFloatExp(0.5, -4000));
}

} // namespace
