#pragma once

#include "engine/BigReal.h"
#include "engine/DeepNumbers.h"
#include "engine/DeepPixels.h"
#include "engine/EscapeKernel.h"
#include "engine/ReferenceOrbit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// A view of the Mandelbrot set at any depth: its centre and radius exactly, in arbitrary
// precision, and the pixels' values by perturbation against one reference orbit at the
// centre, with rebasing and a table of bilinear approximations (docs/deep-zoom.md). Used
// by the Mandelbrot painter on its own thread; the view is set by its owner while idle.
class TDeepZoom {
public:
    // Past this pixel pitch (2^-48) the 80-bit iteration loses too many of its 64 bits to
    // show the detail, so a painter that may zoom deep takes the deep path.
    static constexpr int DeepPitchExponent = -48;
    // The least pitch each type holds with room for the table's coefficients, which grow
    // to about the inverse of the pitch.
    static constexpr int DoublePitchExponent = -960;
    static constexpr int ExtendedPitchExponent = -16000;
    // Bits the reference carries beyond the pixel pitch's.
    static constexpr mpfr_prec_t GuardBits = 64;
    // The longest reference kept (docs/deep-zoom.md: memory); a pixel that iterates longer
    // rebases at its end.
    static constexpr std::int32_t MaxReferenceLength = 1 << 17;

    // Asked during long work: go on, a pause held the caller (settings may have changed),
    // or stop.
    enum class TPoll { Go, Held, Stop };
    using TPollFunction = std::function<TPoll()>;

    struct TFigures {
        TDeepNumbers Numbers = TDeepNumbers::Automatic;
        mpfr_prec_t ReferenceBits = 0;
        std::int32_t ReferenceLength = 0; // iterates after Z_0
        double ReferenceSeconds = 0;
        double TableSeconds = 0;
        std::size_t TableEntries = 0;
        std::size_t TableBytes = 0;
        std::size_t OrbitBytes = 0;
    };

    TDeepZoom();
    ~TDeepZoom();

    void SetView(const TBigReal& X, const TBigReal& Y, const TBigReal& Radius);
    const TBigReal& CentreX() const { return FCentreX; }
    const TBigReal& CentreY() const { return FCentreY; }
    const TBigReal& Radius() const { return FRadius; }

    // Whether a W x H area of this view takes the deep path: always with a type chosen,
    // by the pitch when Automatic, never for a radius that is not above 0.
    bool Wanted(std::int32_t W, std::int32_t H, TDeepNumbers Numbers) const;
    // The pixels' points for a W x H area, as the 80-bit painter lays them out.
    void PrepareArea(std::int32_t W, std::int32_t H, TDeepNumbers Numbers);
    // Brings the reference orbit up to Age iterates (at most MaxReferenceLength) and the
    // table to the escape bound Limit, asking Poll between iterates and now and then in
    // the table. Go when all is ready; otherwise what Poll said, and the work so far kept.
    TPoll Prepare(std::int32_t Age, Extended Limit, const TPollFunction& Poll);
    // One pixel's escape iteration against the bound last prepared; see TDeepPixels::Run.
    void Run(TEscapeJob& Job, std::int32_t X, std::int32_t Y, std::int32_t Skip,
             const std::function<bool()>& Stop) const {
        FPixels->Run(Job, X, Y, Skip, Stop);
    }
    // The view becomes the point of pixel (X, Y) of the area prepared, exactly, and the
    // radius Factor / Divisor of what it was.
    void ZoomInto(std::int32_t X, std::int32_t Y, long Factor, long Divisor);

    // Of the reference and table prepared last; they are freed when the view changes.
    const TFigures& Figures() const { return FFigures; }

private:
    void Restart(TDeepNumbers Numbers);
    // What was prepared for the view is of no more use.
    void ViewChanged();
    void NoteFigures();

    TBigReal FCentreX, FCentreY, FRadius;
    TDeepNumbers FNumbers = TDeepNumbers::Automatic;
    std::vector<TFloatExp> FOffsetX, FOffsetY;
    TReferenceOrbit FReference;
    std::unique_ptr<TDeepPixels> FPixels;
    bool FTableReady = false;
    Extended FTableLimit = 0;
    std::int32_t FTableLength = 0;
    TFigures FFigures;
};
