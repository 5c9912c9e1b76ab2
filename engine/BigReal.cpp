#include "engine/BigReal.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace {
// Bits per decimal digit, rounded up, and the guard bits added to a parsed number.
constexpr double BitsPerDigit = 3.3219280948873623;
constexpr mpfr_prec_t GuardBits = 8;
constexpr int Decimal = 10;

struct TMpfrString {
    void operator()(char* Text) const { mpfr_free_str(Text); }
};
} // namespace

TBigReal::TBigReal(mpfr_prec_t Precision) {
    mpfr_init2(FValue, std::max(Precision, MinPrecision));
    mpfr_set_zero(FValue, 1);
}

TBigReal::TBigReal(const TBigReal& Other) {
    mpfr_init2(FValue, Other.Precision());
    mpfr_set(FValue, Other.FValue, MPFR_RNDN);
}

TBigReal& TBigReal::operator=(const TBigReal& Other) {
    if (this != &Other) {
        mpfr_set_prec(FValue, Other.Precision());
        mpfr_set(FValue, Other.FValue, MPFR_RNDN);
    }
    return *this;
}

TBigReal::~TBigReal() {
    mpfr_clear(FValue);
}

TBigReal TBigReal::Of(Extended Value) {
    TBigReal Result;
    mpfr_set_ld(Result.FValue, Value, MPFR_RNDN);
    return Result;
}

TBigReal TBigReal::Of(const TFloatExp& Value) {
    TBigReal Result;
    // A double's 53 bits and the exponent apart: both exact.
    mpfr_set_d(Result.FValue, Value.Mantissa(), MPFR_RNDN);
    mpfr_mul_2si(Result.FValue, Result.FValue, static_cast<long>(Value.Exponent()), MPFR_RNDN);
    return Result;
}

TBigReal TBigReal::Parse(const std::string& Text) {
    // Only the decimal form: MPFR would also read hexadecimal, "@inf@" and the like.
    const auto Digits = std::count_if(Text.begin(), Text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
    const bool Plain = std::all_of(Text.begin(), Text.end(), [](unsigned char c) {
        return std::isdigit(c) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    });
    if (Digits == 0 || !Plain)
        throw std::invalid_argument("expected a number, got \"" + Text + "\"");
    TBigReal Result(static_cast<mpfr_prec_t>(std::ceil(Digits * BitsPerDigit)) + GuardBits);
    char* End = nullptr;
    mpfr_strtofr(Result.FValue, Text.c_str(), &End, Decimal, MPFR_RNDN);
    if (End != Text.c_str() + Text.size() || !mpfr_number_p(Result.FValue))
        throw std::invalid_argument("expected a number, got \"" + Text + "\"");
    return Result;
}

std::string TBigReal::Text() const {
    if (IsZero())
        return "0";
    mpfr_exp_t Exp = 0;
    // As many digits as reading back at this precision needs.
    const std::unique_ptr<char, TMpfrString> Raw(
        mpfr_get_str(nullptr, &Exp, Decimal, 0, FValue, MPFR_RNDN));
    std::string Digits(Raw.get());
    const bool Negative = Digits.front() == '-';
    if (Negative)
        Digits.erase(0, 1);
    while (Digits.size() > 1 && Digits.back() == '0')
        Digits.pop_back();
    // 0.d1d2... x 10^Exp, written d1.d2...e(Exp-1), or without an exponent when short.
    const long Point = static_cast<long>(Exp);
    std::string Result = Negative ? "-" : "";
    const auto Size = static_cast<long>(Digits.size());
    if (Point > 0 && Point <= 21) {
        Result += Digits.substr(0, std::min<std::size_t>(Digits.size(), Point));
        Result += std::string(static_cast<std::size_t>(std::max(Point - Size, 0L)), '0');
        if (Size > Point)
            Result += "." + Digits.substr(static_cast<std::size_t>(Point));
    } else if (Point <= 0 && Point > -6) {
        Result += "0." + std::string(static_cast<std::size_t>(-Point), '0') + Digits;
    } else {
        Result += Digits.substr(0, 1);
        if (Size > 1)
            Result += "." + Digits.substr(1);
        Result += "e" + std::to_string(Point - 1);
    }
    return Result;
}

mpfr_exp_t TBigReal::Exponent() const {
    return IsZero() ? mpfr_get_emin() : mpfr_get_exp(FValue);
}

TFloatExp TBigReal::ToFloatExp() const {
    if (IsZero())
        return {};
    long Exp = 0;
    const double Mantissa = mpfr_get_d_2exp(&Exp, FValue, MPFR_RNDN);
    return TFloatExp(Mantissa, Exp);
}

void TBigReal::AddExactly(const TBigReal& Other) {
    if (Other.IsZero())
        return;
    if (IsZero()) {
        *this = Other;
        return;
    }
    // The sum's bits run from one above the larger leading bit down to the lower of the
    // two last bits.
    const mpfr_exp_t Top = std::max(Exponent(), Other.Exponent()) + 1;
    const mpfr_exp_t Bottom =
        std::min(Exponent() - static_cast<mpfr_exp_t>(mpfr_min_prec(FValue)),
                 Other.Exponent() - static_cast<mpfr_exp_t>(mpfr_min_prec(Other.FValue)));
    TBigReal Sum(std::max<mpfr_prec_t>(Precision(), static_cast<mpfr_prec_t>(Top - Bottom)));
    mpfr_add(Sum.FValue, FValue, Other.FValue, MPFR_RNDN);
    *this = Sum;
}

void TBigReal::Scale(long Factor, long Divisor) {
    mpfr_mul_si(FValue, FValue, Factor, MPFR_RNDN);
    mpfr_div_si(FValue, FValue, Divisor, MPFR_RNDN);
}

TBigReal TBigReal::Rounded(mpfr_prec_t Bits) const {
    TBigReal Result(Bits);
    mpfr_set(Result.FValue, FValue, MPFR_RNDN);
    return Result;
}
