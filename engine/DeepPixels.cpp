#include "engine/DeepPixels.h"

#include "engine/BlaTable.h"
#include "platform/Errors.h"

#include <algorithm>

namespace {

using namespace DeepNumbers;

template <class T> T FromBig(const TBigReal& Value);
template <> double FromBig<double>(const TBigReal& Value) {
    return mpfr_get_d(Value.Get(), MPFR_RNDN);
}
template <> Extended FromBig<Extended>(const TBigReal& Value) {
    return Value.ToExtended();
}
template <> TFloatExp FromBig<TFloatExp>(const TBigReal& Value) {
    return Value.ToFloatExp();
}

template <class T> T FromExtended(Extended Value);
template <> double FromExtended<double>(Extended Value) {
    return static_cast<double>(Value);
}
template <> Extended FromExtended<Extended>(Extended Value) {
    return Value;
}
template <> TFloatExp FromExtended<TFloatExp>(Extended Value) {
    return TFloatExp(Value);
}

template <class T> class TDeepKernel final : public TDeepPixels {
public:
    void AppendOrbit(const TReferenceOrbit& Orbit) override {
        FOrbit.push_back({FromBig<T>(Orbit.ZR()), FromBig<T>(Orbit.ZI())});
    }
    std::int32_t OrbitLength() const override { return static_cast<std::int32_t>(FOrbit.size()); }

    void SetDifferences(const std::vector<TFloatExp>& X, const std::vector<TFloatExp>& Y,
                        const TFloatExp& ShiftX, const TFloatExp& ShiftY) override {
        const auto Convert = [](const std::vector<TFloatExp>& Offsets, const TFloatExp& Shift,
                                std::vector<T>& Out, T& Largest) {
            Out.clear();
            Largest = T{};
            for (const TFloatExp& Offset : Offsets) {
                Out.push_back(From<T>(Offset + Shift));
                Largest = Larger(Largest, Abs(Out.back()));
            }
        };
        T LargestX{}, LargestY{};
        Convert(X, ShiftX, FDX, LargestX);
        Convert(Y, ShiftY, FDY, LargestY);
        FDcMax = Magnitude(LargestX, LargestY);
    }

    bool BuildTable(Extended Limit, const std::function<bool()>& GoOn) override {
        const T Bound = FromExtended<T>(Limit);
        FExcess.clear();
        for (const auto& Z : FOrbit)
            FExcess.push_back(Z.Re * Z.Re + Z.Im * Z.Im - Bound);
        return FTable.Build(FOrbit, FDcMax, Bound, GoOn);
    }

    void Run(TEscapeJob& Job, std::int32_t X, std::int32_t Y, std::int32_t Skip,
             const std::function<bool()>& Stop) const override;

    std::size_t TableEntries() const override { return FTable.Entries(); }
    std::size_t TableBytes() const override { return FTable.Bytes(); }
    std::size_t OrbitBytes() const override {
        return FOrbit.size() * sizeof(TComplex<T>) + FExcess.size() * sizeof(T);
    }

private:
    std::vector<TComplex<T>> FOrbit;
    // |Z_m|^2 less the escape bound: a pixel's |z|^2 less the bound is this plus terms of
    // dz alone, so that where the reference lies on the bound itself (-1 + 1i under the
    // bound 2), the sign comes from dz rather than from rounding.
    std::vector<T> FExcess;
    std::vector<T> FDX, FDY;
    T FDcMax{};
    TBlaTable<T> FTable;
};

template <class T>
void TDeepKernel<T>::Run(TEscapeJob& Job, std::int32_t X, std::int32_t Y, std::int32_t Skip,
                         const std::function<bool()>& Stop) const {
    Job.Finished = false;
    const T DCR = FDX.at(static_cast<std::size_t>(X));
    const T DCI = FDY.at(static_cast<std::size_t>(Y));
    const std::int32_t Last = OrbitLength() - 1;
    Assert(Last >= 1 && FExcess.size() == FOrbit.size(), "TDeepPixels.Run: No table");
    const std::int32_t Allowed = Job.Allowed;
    T DZR{}, DZI{};
    // M indexes the reference, N counts the pixel's iterations.
    std::int32_t M = 0, N = 0, Computed = 0;
    // Brent's cycle search over the states after a rebase, (0, dz), which fix all that
    // follows: one saved after 1, 2, 4, ... rebases, each compared with the saved one.
    T SavedR{}, SavedI{};
    bool Saved = false;
    std::int32_t Rebases = 0, NextSave = 1;
    std::int32_t UntilCheck = TEscapeKernel::StopCheckSteps;
    for (;;) {
        std::int32_t Length = 1;
        // Z_0 = 0 has no linear part to skip with.
        const auto* Entry = M > 0 ? FTable.Find(M, std::min(Allowed - N, Last - M),
                                                Larger(Abs(DZR), Abs(DZI)), Length)
                                  : nullptr;
        if (Entry) {
            const T R = Entry->AR * DZR - Entry->AI * DZI + Entry->BR * DCR - Entry->BI * DCI;
            const T I = Entry->AR * DZI + Entry->AI * DZR + Entry->BR * DCI + Entry->BI * DCR;
            DZR = R;
            DZI = I;
        } else {
            // dz' = (2 Z + dz) dz + dc: z'^2 + c minus Z'^2 + C, exactly. Grouped so that
            // each new part waits for three operations on the old ones, not four.
            const T AR = FOrbit[M].Re + FOrbit[M].Re + DZR;
            const T AI = FOrbit[M].Im + FOrbit[M].Im + DZI;
            const T R = AR * DZR - (AI * DZI - DCR);
            const T I = AR * DZI + (AI * DZR + DCI);
            DZR = R;
            DZI = I;
        }
        M += Length;
        N += Length;
        ++Computed;
        const T ZR = FOrbit[M].Re + DZR;
        const T ZI = FOrbit[M].Im + DZI;
        const T Cross = FOrbit[M].Re * DZR + FOrbit[M].Im * DZI;
        // Escape first, then exhaustion, as a calculation step tests them.
        if (N > Skip && FExcess[M] + (Cross + Cross + DZR * DZR + DZI * DZI) > T{}) {
            Job.Escaped = true;
            break;
        }
        if (N >= Allowed) {
            Job.Escaped = false;
            break;
        }
        // Rebasing: where the pixel's z comes nearer the critical point 0 than to the
        // reference, or the reference ends, z itself becomes the difference from Z_0 = 0.
        // Glitches are so avoided rather than found and mended.
        if (M == Last || Larger(Abs(ZR), Abs(ZI)) < Larger(Abs(DZR), Abs(DZI))) {
            DZR = ZR;
            DZI = ZI;
            M = 0;
            // A state met again repeats what followed it, every z of which passed the escape
            // test: the pixel never escapes (as the 80-bit loop concludes from an exact
            // return). Only states reached after the untested steps count.
            if (N > Skip) {
                if (Saved && DZR == SavedR && DZI == SavedI) {
                    N = Allowed;
                    Job.Escaped = false;
                    break;
                }
                if (++Rebases == NextSave) {
                    SavedR = DZR;
                    SavedI = DZI;
                    Saved = true;
                    NextSave = Rebases < (1 << 30) ? Rebases * 2 : Rebases;
                }
            }
        }
        if (--UntilCheck == 0) {
            if (Stop())
                return;
            UntilCheck = TEscapeKernel::StopCheckSteps;
        }
    }
    Job.Steps = N;
    Job.Computed = Computed;
    Job.Finished = true;
}

} // namespace

std::unique_ptr<TDeepPixels> TDeepPixels::Make(TDeepNumbers Numbers) {
    switch (Numbers) {
    case TDeepNumbers::Double:
        return std::make_unique<TDeepKernel<double>>();
    case TDeepNumbers::Extended:
        return std::make_unique<TDeepKernel<Extended>>();
    case TDeepNumbers::FloatExp:
        return std::make_unique<TDeepKernel<TFloatExp>>();
    case TDeepNumbers::Automatic:
        break;
    }
    throw EAssertionFailed("TDeepPixels.Make: No number type");
}
