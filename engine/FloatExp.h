#pragma once

#include "engine/Extended.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

// A double's 53-bit mantissa with an exponent of its own: numbers of any size the deep
// zoom meets, where a double's deltas run out near 1e-308 and the 80-bit type's near
// 1e-4951. The value is Mantissa x 2^Exponent, the mantissa 0 or of magnitude [0.5, 1).
class TFloatExp {
public:
    // Zero's exponent: below every other, yet two of them still add up without overflow.
    static constexpr std::int64_t ZeroExponent = -(std::int64_t{1} << 61);
    // Beyond this many binary places the smaller of two addends changes nothing.
    static constexpr std::int64_t NegligibleShift = 60;

    constexpr TFloatExp() = default;
    TFloatExp(double Mantissa, std::int64_t Exponent) { Normalize(Mantissa, Exponent); }
    explicit TFloatExp(double Value) { Normalize(Value, 0); }
    explicit TFloatExp(Extended Value) {
        int Exp = 0;
        const Extended Mantissa = std::frexp(Value, &Exp);
        // The 64-bit mantissa rounded to a double's 53 bits stays within [0.5, 1].
        Normalize(static_cast<double>(Mantissa), Exp);
    }

    double Mantissa() const { return FMantissa; }
    std::int64_t Exponent() const { return FExponent; }
    bool IsZero() const { return FMantissa == 0; }

    // Nearest values of the hardware types: 0 below their range, infinite above it.
    double ToDouble() const { return std::ldexp(FMantissa, ClampedExponent()); }
    Extended ToExtended() const {
        return std::ldexp(static_cast<Extended>(FMantissa), ClampedExponent());
    }

    TFloatExp operator-() const { return Raw(-FMantissa, FExponent); }
    friend TFloatExp operator*(const TFloatExp& A, const TFloatExp& B) {
        return TFloatExp(A.FMantissa * B.FMantissa, A.FExponent + B.FExponent);
    }
    friend TFloatExp operator/(const TFloatExp& A, const TFloatExp& B) {
        return TFloatExp(A.FMantissa / B.FMantissa, A.FExponent - B.FExponent);
    }
    friend TFloatExp operator+(const TFloatExp& A, const TFloatExp& B) {
        const bool AFirst = A.FExponent >= B.FExponent;
        const TFloatExp& Big = AFirst ? A : B;
        const TFloatExp& Small = AFirst ? B : A;
        const std::int64_t Shift = Big.FExponent - Small.FExponent;
        if (Shift > NegligibleShift)
            return Big;
        return TFloatExp(Big.FMantissa + std::ldexp(Small.FMantissa, -static_cast<int>(Shift)),
                         Big.FExponent);
    }
    friend TFloatExp operator-(const TFloatExp& A, const TFloatExp& B) { return A + (-B); }
    TFloatExp& operator+=(const TFloatExp& B) { return *this = *this + B; }
    TFloatExp& operator*=(const TFloatExp& B) { return *this = *this * B; }

    // A NaN is unordered: neither below nor above anything, as with the hardware types.
    friend bool operator<(const TFloatExp& A, const TFloatExp& B) { return Compare(A, B) == -1; }
    friend bool operator>(const TFloatExp& A, const TFloatExp& B) { return Compare(A, B) == 1; }
    friend bool operator==(const TFloatExp& A, const TFloatExp& B) {
        return A.FMantissa == B.FMantissa && (A.IsZero() || A.FExponent == B.FExponent);
    }

    friend TFloatExp Abs(const TFloatExp& A) { return Raw(std::fabs(A.FMantissa), A.FExponent); }
    friend TFloatExp Sqrt(const TFloatExp& A) {
        if (A.IsZero())
            return A;
        // An even exponent halves exactly.
        const bool Odd = (A.FExponent & 1) != 0;
        const double M = Odd ? A.FMantissa * 2 : A.FMantissa;
        const std::int64_t E = Odd ? A.FExponent - 1 : A.FExponent;
        return TFloatExp(std::sqrt(M), E / 2);
    }

private:
    static TFloatExp Raw(double Mantissa, std::int64_t Exponent) {
        TFloatExp Result;
        Result.FMantissa = Mantissa;
        Result.FExponent = Exponent;
        return Result;
    }
    void Normalize(double Mantissa, std::int64_t Exponent) {
        if (Mantissa == 0 || !std::isfinite(Mantissa)) {
            // An infinity keeps its mantissa and lies above every exponent; a NaN keeps
            // its mantissa too, which makes it unordered.
            FMantissa = Mantissa;
            FExponent = Mantissa == 0 ? ZeroExponent : -ZeroExponent;
            return;
        }
        int Shift = 0;
        FMantissa = std::frexp(Mantissa, &Shift);
        FExponent = Exponent + Shift;
    }
    int ClampedExponent() const {
        if (IsZero())
            return INT_MIN;
        return static_cast<int>(std::clamp<std::int64_t>(FExponent, INT_MIN, INT_MAX));
    }
    // Sign, then exponent, then mantissa: -1, 0 or 1, and 2 when a NaN takes part.
    static int Compare(const TFloatExp& A, const TFloatExp& B) {
        if (std::isnan(A.FMantissa) || std::isnan(B.FMantissa))
            return 2;
        const int SA = (A.FMantissa > 0) - (A.FMantissa < 0);
        const int SB = (B.FMantissa > 0) - (B.FMantissa < 0);
        if (SA != SB || SA == 0)
            return SA < SB ? -1 : (SA > SB ? 1 : 0);
        if (A.FExponent != B.FExponent)
            return (A.FExponent < B.FExponent ? -1 : 1) * SA;
        return (A.FMantissa > B.FMantissa) - (A.FMantissa < B.FMantissa);
    }

    double FMantissa = 0;
    std::int64_t FExponent = ZeroExponent;
};
