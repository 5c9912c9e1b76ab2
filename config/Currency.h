#pragma once

#include <cstdint>

// A fixed-point amount with four decimal places, for properties that must not suffer the
// rounding of binary floating point.
struct TCurrency {
    static constexpr std::int64_t Scale = 10000;

    std::int64_t Value = 0; // in units of 1/Scale

    friend bool operator==(const TCurrency&, const TCurrency&) = default;
};
