#pragma once

#include "engine/Extended.h"
#include "engine/FloatExp.h"

#include <cmath>

// Which number type a deep view's pixels iterate their differences in.
enum class TDeepNumbers {
    // The fastest type whose exponent holds the view: double, then the 80-bit type, then
    // TFloatExp (engine/DeepZoom.cpp).
    Automatic,
    Double,
    Extended,
    FloatExp,
};

// The same few operations on each of the three types, so that one template serves them.
namespace DeepNumbers {

template <class T> struct TComplex {
    T Re{};
    T Im{};
};

template <class T> T From(const TFloatExp& Value);
template <> inline double From<double>(const TFloatExp& Value) {
    return Value.ToDouble();
}
template <> inline Extended From<Extended>(const TFloatExp& Value) {
    return Value.ToExtended();
}
template <> inline TFloatExp From<TFloatExp>(const TFloatExp& Value) {
    return Value;
}

inline double Abs(double Value) {
    return std::fabs(Value);
}
inline Extended Abs(Extended Value) {
    return std::fabs(Value);
}

// |Re + i Im| without overflow or underflow on the way.
inline double Magnitude(double Re, double Im) {
    return std::hypot(Re, Im);
}
inline Extended Magnitude(Extended Re, Extended Im) {
    return std::hypot(Re, Im);
}
inline TFloatExp Magnitude(const TFloatExp& Re, const TFloatExp& Im) {
    return Sqrt(Re * Re + Im * Im);
}

// The larger of two; A when they are unordered.
template <class T> T Larger(const T& A, const T& B) {
    return A < B ? B : A;
}
template <class T> T Smaller(const T& A, const T& B) {
    return B < A ? B : A;
}

} // namespace DeepNumbers
