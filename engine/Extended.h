#pragma once

#include <limits>

// The 80-bit x87 extended type: 64-bit mantissa, 15-bit exponent. Every coordinate of
// the complex plane and every iterate is held in it; deep zooms run out of mantissa
// bits long before they run out of exponent range, so nothing may pass through double.
using Extended = long double;

// Significant bytes of the type; the rest of a long double is padding.
constexpr unsigned ExtendedBytes = 10;

static_assert(std::numeric_limits<Extended>::digits == 64,
              "long double must be the 80-bit x87 extended type (64-bit mantissa)");
static_assert(std::numeric_limits<Extended>::max_exponent == 16384,
              "long double must have the 15-bit exponent of the x87 extended type");
