#pragma once

#include "engine/BigReal.h"

#include <cstdint>

// The orbit of one point under z -> z^2 + c, in arbitrary precision, one iterate at a time:
// the deep zoom's reference, against which every pixel iterates only its difference.
class TReferenceOrbit {
public:
    // |Z|^2 past which the orbit surely diverges; it is not followed further, and pixels
    // that outlive it start again from the orbit's beginning.
    static constexpr long Bailout = 4;

    // Z_0 = 0 of the orbit of (CX, CY), both rounded to Bits.
    void Start(const TBigReal& CX, const TBigReal& CY, mpfr_prec_t Bits);
    // Computes the next iterate; false (and nothing done) once the orbit has left the disc.
    bool Step();

    // The index of the iterate in ZR and ZI: 0 after Start.
    std::int32_t Index() const { return FIndex; }
    bool Escaped() const { return FEscaped; }
    mpfr_prec_t Bits() const { return FZR.Precision(); }
    const TBigReal& ZR() const { return FZR; }
    const TBigReal& ZI() const { return FZI; }
    const TBigReal& CX() const { return FCX; }
    const TBigReal& CY() const { return FCY; }

private:
    TBigReal FCX, FCY, FZR, FZI, FZR2, FZI2, FWork;
    std::int32_t FIndex = 0;
    bool FEscaped = false;
};
