#include "engine/ReferenceOrbit.h"

#include <initializer_list>

void TReferenceOrbit::Start(const TBigReal& CX, const TBigReal& CY, mpfr_prec_t Bits) {
    FCX = CX.Rounded(Bits);
    FCY = CY.Rounded(Bits);
    for (TBigReal* Value : {&FZR, &FZI, &FZR2, &FZI2, &FWork}) {
        mpfr_set_prec(Value->Get(), FCX.Precision());
        mpfr_set_zero(Value->Get(), 1);
    }
    FIndex = 0;
    FEscaped = false;
}

bool TReferenceOrbit::Step() {
    if (FEscaped)
        return false;
    // The order of a calculation step: the new imaginary part from the old parts, the new
    // real part from the squares kept, then the squares of the new parts.
    mpfr_mul(FWork.Get(), FZR.Get(), FZI.Get(), MPFR_RNDN);
    mpfr_mul_2ui(FWork.Get(), FWork.Get(), 1, MPFR_RNDN);
    mpfr_add(FZI.Get(), FWork.Get(), FCY.Get(), MPFR_RNDN);
    mpfr_sub(FWork.Get(), FZR2.Get(), FZI2.Get(), MPFR_RNDN);
    mpfr_add(FZR.Get(), FWork.Get(), FCX.Get(), MPFR_RNDN);
    mpfr_sqr(FZR2.Get(), FZR.Get(), MPFR_RNDN);
    mpfr_sqr(FZI2.Get(), FZI.Get(), MPFR_RNDN);
    mpfr_add(FWork.Get(), FZR2.Get(), FZI2.Get(), MPFR_RNDN);
    FEscaped = mpfr_cmp_si(FWork.Get(), Bailout) > 0;
    ++FIndex;
    return true;
}
