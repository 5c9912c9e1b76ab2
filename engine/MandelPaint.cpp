#include "engine/MandelPaint.h"

#include "engine/DeepZoom.h"
#include "engine/Random.h"
#include "platform/Checked.h"

#include <cmath>
#include <limits>

namespace {
constexpr int NeighbourhoodCells = 121; // 11 x 11
constexpr Extended Percent = 100.0L;
constexpr std::int32_t PercentScale = 100;
constexpr Extended OverviewCentreSpan = 2.0L;
constexpr Extended OverviewMinRadius = 2.0L;
} // namespace

TMandelPaintCalculation::TMandelPaintCalculation(TMandelPaint* AOwner, std::int32_t AX,
                                                 std::int32_t AY, Extended ACX, Extended ACY,
                                                 std::int32_t AMaxAge)
    : TFunctionPaintCalculation(AOwner, AY, AX), CX(ACX), CY(ACY), Remaining(AMaxAge) {}

void TMandelPaintCalculation::Advance() {
    // The owner's current limits, read at every step: a change made while the painter
    // is held applies to calculations already pending.
    const auto* Painter = static_cast<const TMandelPaint*>(Owner);
    Step(Painter->DistanceLimit, Painter->MaxAge);
}

TMandelPaint::TMandelPaint() : FDeep(std::make_unique<TDeepZoom>()) {}

TMandelPaint::~TMandelPaint() = default;

void TMandelPaint::SetView(Extended ACentreX, Extended ACentreY, Extended ARadius) {
    CentreX = ACentreX;
    CentreY = ACentreY;
    Radius = ARadius;
    ComputeCoordinates();
    FDeep->SetView(TBigReal::Of(ACentreX), TBigReal::Of(ACentreY), TBigReal::Of(ARadius));
    FViewFromDeep = false;
}

void TMandelPaint::SetDeepView(const TBigReal& X, const TBigReal& Y, const TBigReal& ARadius) {
    FDeep->SetView(X, Y, ARadius);
    CentreX = X.ToExtended();
    CentreY = Y.ToExtended();
    Radius = ARadius.ToExtended();
    ComputeCoordinates();
    FViewFromDeep = true;
}

void TMandelPaint::PrepareArea() {
    TFunctionPaint::PrepareArea();
    XCoords.assign(std::max(Width(), 0), 0.0L);
    YCoords.assign(std::max(Height(), 0), 0.0L);
    ComputeCoordinates();
}

void TMandelPaint::PaintArea() {
    Iterations = 0;
    ComputedIterations = 0;
    FCycle = 0;
    FCalendar.Clear();
    FAhead.clear();
    FSupplied = 0;
    FDeepPaint = DeepZoom;
    // Deep zoom was switched off during a deep dive: the 80-bit numbers cannot show this
    // view, so the dive starts again from an overview at once rather than after one
    // picture of a single colour.
    if (!FDeepPaint && FViewFromDeep)
        ChooseRandomOverview();
    FDeepPixels = FDeepPaint && FDeep->Wanted(Width(), Height(), DeepNumbers);
    FAge = MaxAge;
    FLimit = DistanceLimit;
    if (FDeepPixels) {
        FDeep->PrepareArea(Width(), Height(), DeepNumbers);
        if (!PrepareDeep())
            return;
    }
    FStream.Reset(FLimit);
    TFunctionPaint::PaintArea();
}

bool TMandelPaint::PrepareDeep() {
    const TDeepZoom::TPollFunction Poll = [this] {
        if (Terminated())
            return TDeepZoom::TPoll::Stop;
        return HoldIfAsked() ? TDeepZoom::TPoll::Held : TDeepZoom::TPoll::Go;
    };
    for (;;) {
        // A pause may have changed the limits: the work is brought up to the new ones.
        FAge = MaxAge;
        FLimit = DistanceLimit;
        switch (FDeep->Prepare(FAge, FLimit, Poll)) {
        case TDeepZoom::TPoll::Go:
            return true;
        case TDeepZoom::TPoll::Stop:
            return false;
        case TDeepZoom::TPoll::Held:
            break;
        }
    }
}

void TMandelPaint::ProcessCalculations() {
    if (Stepping())
        ReferenceCycle();
    else
        AcceleratedCycle();
}

bool TMandelPaint::CalculationsPending() const {
    return Stepping() ? !Calculations.empty() : !FCalendar.Empty();
}

void TMandelPaint::AddCalculation(std::int32_t X, std::int32_t Y) {
    if (Stepping()) {
        TFunctionPaint::AddCalculation(X, Y);
        return;
    }
    SyncLimits();
    if (FDeepPixels) {
        TEscapeJob Job{0, 0, FAge};
        FDeep->Run(Job, X, Y, 0, FStop);
        FileResult(X, Y, Job);
        return;
    }
    // The pass visits points in the order the lookahead walked them; anything else (a
    // settings change, a new pass, a test that saw values of its own pass) starts afresh.
    if (FAhead.empty() || FAheadPass != PassNumber() || FAhead.front().X != X ||
        FAhead.front().Y != Y)
        RestartLookahead(X, Y);
    const bool Ran = FStream.RunUntil(FAhead.front().Job, FSupply, FStop);
    const TEscapeJob Job = FAhead.front().Job;
    FAhead.pop_front();
    FSupplied = std::max<std::size_t>(FSupplied, 1) - 1;
    if (!Ran) {
        // Stopped with jobs on the lanes: nothing of this look is used again.
        FAhead.clear();
        FSupplied = 0;
        FStream.Reset(FLimit);
    }
    FileResult(X, Y, Job);
}

void TMandelPaint::FileResult(std::int32_t X, std::int32_t Y, const TEscapeJob& Job) {
    ComputedIterations += Job.Computed;
    // Cut short by a terminate request: the sweep stops at this point, and a calculation
    // that has run so long without finishing is not due before it does. Stepping leaves
    // it pending too.
    if (!Job.Finished) {
        FCalendar.Add({FCycle + 1, std::numeric_limits<std::int64_t>::max(), X, Y, Job.Allowed,
                       Job.Allowed, InsideValue});
        return;
    }
    // Its first slice comes in the next cycle, its last Steps - 1 cycles later.
    const std::int64_t Queued = FCycle + 1;
    FCalendar.Add({Queued, Queued + Job.Steps - 1, X, Y, Job.Allowed, Job.Steps, ValueOf(Job)});
    Iterations += Job.Steps;
}

std::size_t TMandelPaint::LookaheadSize() const {
    const auto PerJob = static_cast<std::size_t>(std::max(FAge, 1));
    return std::clamp<std::size_t>(LookaheadSteps / PerJob, 1, LookaheadJobs);
}

std::int32_t TMandelPaint::ValueOf(const TEscapeJob& Job) const {
    // As a step reports it: the age at the time of finishing minus the steps left.
    return Job.Escaped ? FAge - (Job.Allowed - Job.Steps) : InsideValue;
}

void TMandelPaint::RestartLookahead(std::int32_t X, std::int32_t Y) {
    FAhead.clear();
    FSupplied = 0;
    FStream.Reset(FLimit);
    FAheadPass = PassNumber();
    // (X, Y) itself is being queued; the points after it are those the pass will queue as
    // long as its tests read only earlier passes, which a power-of-two step ensures.
    FAheadCursor = Pass();
    FAheadCursor.X = X;
    FAheadCursor.Y = Y;
    FAhead.push_back({X, Y, {XCoords.at(X), YCoords.at(Y), FAge}});
}

TEscapeJob* TMandelPaint::SupplyLookahead() {
    if (FSupplied == FAhead.size()) {
        if (FAhead.size() >= LookaheadSize())
            return nullptr;
        TPassCursor& Cursor = FAheadCursor;
        // Each point walked is tested again by the sweep. A partner saves about a third of
        // the time of the steps the two orbits share, and a walked point costs about as
        // much as a step, so a walk across a wide uniform stretch pays off only as far as
        // a job may take steps: it pauses there, at a point already tested, and goes on
        // from there at the next look.
        const int Walk = LookaheadWalk();
        for (int Walked = 0;; ++Walked) {
            if (!Cursor.Inside(Width(), Height()) || Walked == Walk)
                return nullptr;
            Cursor.Next(Width(), Height());
            if (Cursor.Inside(Width(), Height()) && PeekCheck(Cursor.X, Cursor.Y) == NotCalculated)
                break;
        }
        FAhead.push_back({Cursor.X, Cursor.Y, {XCoords.at(Cursor.X), YCoords.at(Cursor.Y), FAge}});
    }
    return &FAhead[FSupplied++].Job;
}

void TMandelPaint::ChangeLimits() {
    FAge = MaxAge;
    FLimit = DistanceLimit;
    FAhead.clear();
    FSupplied = 0;
    FStream.Reset(FLimit);
    // A longer age needs a longer reference, another bound another table. Stopped on the
    // way, nothing more is drawn, so nothing need be replanned.
    if (FDeepPixels && !PrepareDeep())
        return;
    Replan();
}

void TMandelPaint::Replan() {
    // A stepping calculation reads the limits afresh at each step, so from the next cycle
    // on its remaining steps face the new ones. Those it has taken (one per cycle since it
    // was queued) did not finish it, or it would have been drawn already.
    bool Stopped = false;
    for (TPendingDraw Draw : FCalendar.TakeAll()) {
        // A terminate request ends the paint before anything more is drawn, so what is
        // left need not be replanned; a calculation of a huge maximum age could take
        // seconds.
        if (!Stopped) {
            TEscapeJob Job{XCoords.at(Draw.X), YCoords.at(Draw.Y), Draw.Allowed};
            const auto Taken = static_cast<std::int32_t>(FCycle - Draw.Queued + 1);
            if (FDeepPixels)
                FDeep->Run(Job, Draw.X, Draw.Y, Taken, FStop);
            else
                TEscapeKernel::RunFrom(Job, Taken, FLimit, FStop);
            Stopped = !Job.Finished;
            if (!Stopped) {
                ComputedIterations += Job.Computed;
                Iterations += Job.Steps - Draw.Steps;
                Draw.Steps = Job.Steps;
                Draw.Due = Draw.Queued + Job.Steps - 1;
                Draw.Value = ValueOf(Job);
            }
        }
        FCalendar.Add(Draw);
    }
}

void TMandelPaint::DrainCalculations() {
    if (Stepping()) {
        TFunctionPaint::DrainCalculations();
        return;
    }
    while (CalculationsPending() && !Terminated()) {
        // Nothing is queued while draining, so cycles in which nothing falls due draw
        // nothing and may pass at once: the last cycle has already applied any change of
        // limits made at its end.
        FCycle = std::max(FCycle, FCalendar.NextDue() - 1);
        AcceleratedCycle();
    }
}

void TMandelPaint::ReferenceCycle() {
    // Same order and effect as the generic cycle. The limits can change only while the
    // painter is held between two cycles, so reading them once per cycle is reading
    // them at every step.
    const Extended Limit = DistanceLimit;
    const std::int32_t Age = MaxAge;
    bool AnyDone = false;
    Iterations += static_cast<std::int64_t>(Calculations.size());
    ComputedIterations += static_cast<std::int64_t>(Calculations.size());
    for (std::size_t i = Calculations.size(); i-- > 0;) {
        if (static_cast<TMandelPaintCalculation*>(Calculations[i])->Step(Limit, Age)) {
            CompleteCalculation(i);
            AnyDone = true;
        }
    }
    EndCycle(AnyDone);
}

void TMandelPaint::ComputeCoordinates() {
    const std::int32_t W = std::min<std::int32_t>(Width(), XCoords.size());
    const std::int32_t H = std::min<std::int32_t>(Height(), YCoords.size());
    if (H <= 0 || W <= 0)
        return;
    const Extended D =
        std::sqrt(static_cast<Extended>(CheckedAdd(CheckedMul(H, H), CheckedMul(W, W))));
    const Extended SpanY = H * Radius / D;
    const Extended SpanX = W * Radius / D;
    // A side of one pixel has no half to divide by; its single row or column lies on
    // the centre of the view.
    const std::int32_t HalfH = H / 2;
    for (std::int32_t i = 0; i < H; ++i)
        YCoords[i] =
            HalfH == 0 ? CentreY : static_cast<Extended>(i - HalfH) * SpanY / HalfH + CentreY;
    const std::int32_t HalfW = W / 2;
    for (std::int32_t i = 0; i < W; ++i)
        XCoords[i] =
            HalfW == 0 ? CentreX : static_cast<Extended>(i - HalfW) * SpanX / HalfW + CentreX;
}

TFunctionPaintCalculation* TMandelPaint::CreateCalculation(std::int32_t X, std::int32_t Y) {
    return new TMandelPaintCalculation(this, X, Y, XCoords.at(X), YCoords.at(Y), MaxAge);
}

int TMandelPaint::DetailScore(std::int32_t X, std::int32_t Y) const {
    const std::int32_t V = GetValue(X, Y);
    int N = NeighbourhoodCells;
    for (std::int32_t NX = X - ScoreRadius; NX <= X + ScoreRadius; ++NX)
        for (std::int32_t NY = Y - ScoreRadius; NY <= Y + ScoreRadius; ++NY)
            if (GetValue(NX, NY) == V)
                --N;
    return static_cast<int>(std::trunc(N * Percent / NeighbourhoodCells));
}

bool TMandelPaint::PrecisionExhausted() const {
    for (std::int32_t i = 1; i < Width(); ++i)
        if (XCoords[i - 1] == XCoords[i])
            return true;
    for (std::int32_t i = 1; i < Height(); ++i)
        if (YCoords[i - 1] == YCoords[i])
            return true;
    return false;
}

void TMandelPaint::ChooseRandomOverview() {
    const Extended R1 = RandomReal();
    const Extended R2 = RandomReal();
    const Extended R3 = RandomReal();
    SetView(OverviewCentreSpan * R1 - 1, OverviewCentreSpan * R2 - 1, R3 + OverviewMinRadius);
}

void TMandelPaint::AfterPaint() {
    const std::int32_t W = Width();
    const std::int32_t H = Height();
    // Too small to hold a sample's neighbourhood: start again from an overview. The deep
    // view never runs out of precision.
    if (W < MinSampleSide || H < MinSampleSide || (!FDeepPaint && PrecisionExhausted())) {
        ChooseRandomOverview();
        return;
    }
    int BestScore = -1;
    std::int32_t BestX = 0;
    std::int32_t BestY = 0;
    for (int Sample = 0; Sample < SampleCount; ++Sample) {
        if (Terminated())
            break;
        const std::int32_t X = Random(W - MinSampleSide) + SampleMargin;
        const std::int32_t Y = Random(H - MinSampleSide) + SampleMargin;
        const int Score = DetailScore(X, Y);
        if (Score > BestScore) {
            BestScore = Score;
            BestX = X;
            BestY = Y;
        }
        if (BestScore > EarlyStopScore)
            break;
    }
    if (BestScore <= ZoomScoreThreshold) {
        ChooseRandomOverview();
        return;
    }
    const int Zoom = Random(ZoomPercentRange) + MinZoomPercent;
    if (ShowZoomFrame)
        DrawZoomFrame(BestX, BestY, Zoom);
    if (!FDeepPixels) {
        SetView(XCoords[BestX], YCoords[BestY], Zoom * Radius / Percent);
        return;
    }
    // The same choice, the point of the pixel added exactly to the centre.
    FDeep->ZoomInto(BestX, BestY, Zoom, PercentScale);
    CentreX = FDeep->CentreX().ToExtended();
    CentreY = FDeep->CentreY().ToExtended();
    Radius = FDeep->Radius().ToExtended();
    ComputeCoordinates();
    FViewFromDeep = true;
}

void TMandelPaint::InvertPixel(std::int32_t X, std::int32_t Y) {
    if (X < 0 || Y < 0 || X >= Width() || Y >= Height())
        return;
    // From the value, not the screen: corners drawn twice come out like the rest.
    PlotPixel(X, Y, clWhite - ColourOf(GetValue(X, Y)));
}

void TMandelPaint::DrawZoomFrame(std::int32_t BestX, std::int32_t BestY, int ZoomPercent) {
    const std::int32_t HalfW = CheckedMul(Width(), ZoomPercent) / PercentScale / 2;
    const std::int32_t HalfH = CheckedMul(Height(), ZoomPercent) / PercentScale / 2;
    for (std::int32_t X = BestX - HalfW; X <= BestX + HalfW; ++X) {
        InvertPixel(X, BestY - HalfH);
        InvertPixel(X, BestY + HalfH);
    }
    for (std::int32_t Y = BestY - HalfH; Y <= BestY + HalfH; ++Y) {
        InvertPixel(BestX - HalfW, Y);
        InvertPixel(BestX + HalfW, Y);
    }
}
