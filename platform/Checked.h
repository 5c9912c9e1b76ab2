#pragma once

#include "platform/Errors.h"

#include <cstdint>

// Integer arithmetic that raises instead of wrapping.

inline std::int32_t CheckedAdd(std::int32_t A, std::int32_t B) {
    std::int32_t R;
    if (__builtin_add_overflow(A, B, &R))
        throw EIntOverflow();
    return R;
}

inline std::int32_t CheckedSub(std::int32_t A, std::int32_t B) {
    std::int32_t R;
    if (__builtin_sub_overflow(A, B, &R))
        throw EIntOverflow();
    return R;
}

inline std::int32_t CheckedMul(std::int32_t A, std::int32_t B) {
    std::int32_t R;
    if (__builtin_mul_overflow(A, B, &R))
        throw EIntOverflow();
    return R;
}

// Narrows to a 32-bit range, raising the range error of an out-of-range assignment.
inline std::int32_t CheckedRange(std::int64_t Value, std::int64_t Low, std::int64_t High) {
    if (Value < Low || Value > High)
        throw ERangeError();
    return static_cast<std::int32_t>(Value);
}
