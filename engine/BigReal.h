#pragma once

#include "engine/Extended.h"
#include "engine/FloatExp.h"

#include <mpfr.h>

#include <string>

// One binary floating-point number of any precision (MPFR), owned. The deep zoom keeps a
// view's centre and radius in it, and iterates its reference orbit with it.
class TBigReal {
public:
    // The least precision a number is given: that of the 80-bit type.
    static constexpr mpfr_prec_t MinPrecision = 64;

    TBigReal() : TBigReal(MinPrecision) {}
    explicit TBigReal(mpfr_prec_t Precision);
    TBigReal(const TBigReal& Other);
    TBigReal& operator=(const TBigReal& Other);
    ~TBigReal();

    // Exact: a long double has 64 bits.
    static TBigReal Of(Extended Value);
    // Exact, at the least precision that holds it.
    static TBigReal Of(const TFloatExp& Value);
    // A decimal number (digits, a point, an exponent "e-300"), at a precision that holds
    // every digit given. Raises std::invalid_argument for anything else, or a number that
    // is not finite.
    static TBigReal Parse(const std::string& Text);

    // The decimal digits that read back (by Parse) as this very number.
    std::string Text() const;

    mpfr_prec_t Precision() const { return mpfr_get_prec(FValue); }
    // The binary exponent: the value lies in [2^(e-1), 2^e). Zero has the smallest.
    mpfr_exp_t Exponent() const;
    bool IsZero() const { return mpfr_zero_p(FValue) != 0; }
    int Sign() const { return mpfr_sgn(FValue); }

    // Nearest values of the hardware types; an Extended beyond its range is 0 or infinite.
    Extended ToExtended() const { return mpfr_get_ld(FValue, MPFR_RNDN); }
    TFloatExp ToFloatExp() const;

    // This plus Other, without rounding: the precision grows as far as the sum needs.
    void AddExactly(const TBigReal& Other);
    // This times Factor over Divisor, each operation rounded to the precision: as the
    // 80-bit type scales its radius when this has its 64 bits.
    void Scale(long Factor, long Divisor);
    // Rounded to Bits (at least MinPrecision).
    TBigReal Rounded(mpfr_prec_t Bits) const;

    mpfr_ptr Get() { return FValue; }
    mpfr_srcptr Get() const { return FValue; }

private:
    mpfr_t FValue;
};
