#include "engine/DeepZoom.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point Start) {
    return std::chrono::duration<double>(TClock::now() - Start).count();
}

// Bit for bit, so that a NaN bound counts as the same bound.
bool SameLimit(Extended A, Extended B) {
    return std::memcmp(&A, &B, ExtendedBytes) == 0;
}

// The distance of neighbouring pixels, and the spans from the centre to the area's
// edges, as the 80-bit painter computes its coordinates (docs/engine.md).
struct TGeometry {
    TFloatExp SpanX, SpanY, Pitch;
    std::int32_t HalfW, HalfH;
};

TGeometry GeometryOf(std::int32_t W, std::int32_t H, const TFloatExp& Radius) {
    const auto D =
        TFloatExp(std::sqrt(static_cast<Extended>(W) * W + static_cast<Extended>(H) * H));
    TGeometry G;
    G.SpanX = TFloatExp(static_cast<double>(W)) * Radius / D;
    G.SpanY = TFloatExp(static_cast<double>(H)) * Radius / D;
    G.HalfW = W / 2;
    G.HalfH = H / 2;
    G.Pitch = Radius / D;
    if (G.HalfW > 0)
        G.Pitch =
            DeepNumbers::Larger(G.Pitch, Abs(G.SpanX / TFloatExp(static_cast<double>(G.HalfW))));
    if (G.HalfH > 0)
        G.Pitch =
            DeepNumbers::Larger(G.Pitch, Abs(G.SpanY / TFloatExp(static_cast<double>(G.HalfH))));
    return G;
}

std::vector<TFloatExp> Offsets(std::int32_t Count, std::int32_t Half, const TFloatExp& Span) {
    std::vector<TFloatExp> Result(static_cast<std::size_t>(std::max(Count, 0)));
    if (Half == 0)
        return Result; // a single pixel lies on the centre
    for (std::int32_t i = 0; i < Count; ++i)
        Result[static_cast<std::size_t>(i)] =
            TFloatExp(static_cast<double>(i - Half)) * Span / TFloatExp(static_cast<double>(Half));
    return Result;
}

} // namespace

TDeepZoom::TDeepZoom() = default;

TDeepZoom::~TDeepZoom() = default;

void TDeepZoom::SetView(const TBigReal& X, const TBigReal& Y, const TBigReal& Radius) {
    FCentreX = X;
    FCentreY = Y;
    FRadius = Radius;
    ViewChanged();
}

void TDeepZoom::ViewChanged() {
    // Up to some megabytes at great depths: not kept through a chain of 80-bit views.
    FPixels.reset();
}

bool TDeepZoom::Wanted(std::int32_t W, std::int32_t H, TDeepNumbers Numbers) const {
    if (FRadius.Sign() <= 0 || !mpfr_number_p(FRadius.Get()) || W <= 0 || H <= 0)
        return false;
    return Numbers != TDeepNumbers::Automatic ||
           GeometryOf(W, H, FRadius.ToFloatExp()).Pitch.Exponent() <= DeepPitchExponent;
}

void TDeepZoom::PrepareArea(std::int32_t W, std::int32_t H, TDeepNumbers Numbers) {
    const TGeometry G = GeometryOf(W, H, FRadius.ToFloatExp());
    FOffsetX = Offsets(W, G.HalfW, G.SpanX);
    FOffsetY = Offsets(H, G.HalfH, G.SpanY);
    if (Numbers == TDeepNumbers::Automatic) {
        const std::int64_t Exponent = G.Pitch.Exponent();
        Numbers = Exponent > DoublePitchExponent     ? TDeepNumbers::Double
                  : Exponent > ExtendedPitchExponent ? TDeepNumbers::Extended
                                                     : TDeepNumbers::FloatExp;
    }
    if (!FPixels || FNumbers != Numbers)
        Restart(Numbers);
    // The reference point is the centre rounded to the reference's precision; the pixels'
    // differences from it carry what the rounding took off.
    const auto Shift = [](const TBigReal& Centre, const TBigReal& Reference) {
        TBigReal Difference(Centre.Precision() + 1);
        mpfr_sub(Difference.Get(), Centre.Get(), Reference.Get(), MPFR_RNDN);
        return Difference.ToFloatExp();
    };
    FPixels->SetDifferences(FOffsetX, FOffsetY, Shift(FCentreX, FReference.CX()),
                            Shift(FCentreY, FReference.CY()));
}

void TDeepZoom::Restart(TDeepNumbers Numbers) {
    const auto Start = TClock::now();
    FNumbers = Numbers;
    FPixels = TDeepPixels::Make(Numbers);
    // log2(1 / radius) bits tell the pixels apart, above those of the centre's integer
    // part; the guard bits keep the rounding of every iterate below the pixels' own.
    const mpfr_exp_t Top = std::max<mpfr_exp_t>({0, FCentreX.Exponent(), FCentreY.Exponent()});
    FReference.Start(FCentreX, FCentreY,
                     static_cast<mpfr_prec_t>(Top - FRadius.Exponent()) + GuardBits);
    // Z_0 and Z_1 come before any look at a stop: a pixel needs them to iterate at all.
    FPixels->AppendOrbit(FReference);
    FReference.Step();
    FPixels->AppendOrbit(FReference);
    FTableReady = false;
    FFigures = {};
    FFigures.Numbers = Numbers;
    FFigures.ReferenceSeconds = SecondsSince(Start);
    NoteFigures();
}

void TDeepZoom::NoteFigures() {
    FFigures.ReferenceBits = FReference.Bits();
    FFigures.ReferenceLength = FReference.Index();
    FFigures.TableEntries = FPixels->TableEntries();
    FFigures.TableBytes = FPixels->TableBytes();
    FFigures.OrbitBytes = FPixels->OrbitBytes();
}

TDeepZoom::TPoll TDeepZoom::Prepare(std::int32_t Age, Extended Limit, const TPollFunction& Poll) {
    const auto Start = TClock::now();
    const std::int32_t Wanted = std::clamp(Age, 1, MaxReferenceLength);
    TPoll Said = TPoll::Go;
    while (FReference.Index() < Wanted && !FReference.Escaped()) {
        if ((Said = Poll()) != TPoll::Go)
            break;
        FReference.Step();
        FPixels->AppendOrbit(FReference);
    }
    FFigures.ReferenceSeconds += SecondsSince(Start);
    NoteFigures();
    if (Said != TPoll::Go)
        return Said;
    const std::int32_t Length = FPixels->OrbitLength();
    if (FTableReady && FTableLength == Length && SameLimit(FTableLimit, Limit))
        return TPoll::Go;
    FTableReady = false;
    const auto TableStart = TClock::now();
    const bool Built = FPixels->BuildTable(Limit, [&] { return (Said = Poll()) == TPoll::Go; });
    FFigures.TableSeconds = SecondsSince(TableStart);
    NoteFigures();
    if (!Built)
        return Said;
    FTableReady = true;
    FTableLimit = Limit;
    FTableLength = Length;
    return TPoll::Go;
}

void TDeepZoom::ZoomInto(std::int32_t X, std::int32_t Y, long Factor, long Divisor) {
    FCentreX.AddExactly(TBigReal::Of(FOffsetX.at(static_cast<std::size_t>(X))));
    FCentreY.AddExactly(TBigReal::Of(FOffsetY.at(static_cast<std::size_t>(Y))));
    FRadius.Scale(Factor, Divisor);
    ViewChanged();
}
