#include "panel/FractalPanel.h"

#include "panel/Palette.h"
#include "platform/Checked.h"

#include <QtGlobal>

#include <algorithm>
#include <exception>

namespace {
// Holds a painting painter between two calculation cycles for as long as it lives, and
// lets it go however the change ends: a painter left held would never finish its view.
class TSuspendGuard {
public:
    // AlreadyHeld: held by its panel while nobody sees it; it stays held afterwards.
    TSuspendGuard(TMandelPaint& APainter, bool AlreadyHeld) : FPainter(APainter) {
        // Busy can only turn false behind our back, never true (only this thread starts
        // paints): a painter found idle stays parked, and Suspend copes with one that
        // finishes meanwhile.
        FHeld = !AlreadyHeld && FPainter.Busy();
        if (FHeld)
            FPainter.Suspend();
    }
    ~TSuspendGuard() {
        if (FHeld)
            FPainter.Resume();
    }
    TSuspendGuard(const TSuspendGuard&) = delete;
    TSuspendGuard& operator=(const TSuspendGuard&) = delete;

private:
    TMandelPaint& FPainter;
    bool FHeld;
};

// An error that leaves an event handler is reported and the program goes on; Qt's
// message handler is the application's error report.
void ReportError(const char* Where, const std::exception& Error) {
    qWarning("%s: %s", Where, Error.what());
}
} // namespace

TFractalPanel::TFractalPanel(QWidget* Owner)
    : TSurfaceWidget(Owner), FBaseColours(DefaultBaseColours()) {
    // The client area is the whole panel: frames reach its very edges.
    setContentsMargins(0, 0, 0, 0);
    FPanels.emplace_back(this);
    FTimer.setInterval(TimerInterval);
    connect(&FTimer, &QTimer::timeout, this, [this] {
        try {
            TimerTick();
        } catch (const std::exception& Error) {
            ReportError("TFractalPanel.TimerTick", Error);
        }
    });
}

TFractalPanel::~TFractalPanel() {
    // Owners deactivate first; doing it here as well means a forgotten deactivation
    // cannot leave a thread drawing for a freed panel.
    SetActive(false);
}

void TFractalPanel::SetActive(bool Value) {
    if (Value == FActive)
        return;
    if (Value)
        Activate();
    else
        Deactivate();
}

void TFractalPanel::Activate() {
    // The painter's thread is parked until the first tick hands it a frame. The painter
    // is configured before the panel commits to the active state, so a failure leaves
    // the panel inactive and without a painter.
    auto NewPainter = std::make_unique<TPainter<TMandelPaint>>();
    NewPainter->SetView(StartCentreX, StartCentreY, StartRadius);
    NewPainter->MaxAge = TMandelPaint::DefaultMaxAge;
    ApplySettings(*NewPainter);
    FPainter = std::move(NewPainter);
    FPainterFailureReported = false;
    FActive = true;
    if (Seen())
        FTimer.start();
}

void TFractalPanel::Deactivate() {
    FActive = false;
    FResting = false;
    FTimer.stop();
    // Stop releases a held painter and wakes a parked one so that it sees the terminate
    // request; a painting one notices it within one calculation cycle, so this wait is
    // short and never hangs.
    FPainter->Stop();
    FPainter.reset();
    FTargetWindow.reset();
}

void TFractalPanel::LinkPanel(TFractalPanel* Other) {
    Assert(Other != nullptr, "TFractalPanel.LinkPanel: No panel");
    FPanels.emplace_back(Other);
    FPanelIndex = 0;
}

void TFractalPanel::ClearFrames() {
    FFrames.clear();
    FFrameIndex = 0;
}

void TFractalPanel::AddFrame(std::int32_t Left, std::int32_t Top, std::int32_t Width,
                             std::int32_t Height) {
    if (Width < TFractalFrame::MinSide || Height < TFractalFrame::MinSide)
        return;
    FFrames.push_back(std::make_unique<TFractalFrame>(Left, Top, Width, Height, this));
    FFrameIndex = 0;
}

void TFractalPanel::AddCell(const TMatrixSpan& Column, const TMatrixSpan& Row) {
    AddFrame(Column.Start, Row.Start, Column.Size, Row.Size);
}

void TFractalPanel::AddScan(std::int32_t Wide, std::int32_t High) {
    const QSize Size = DeviceSize();
    const auto Columns = ForwardDivision(Size.width(), Wide);
    const auto Rows = ForwardDivision(Size.height(), High);
    for (const auto& Row : Rows)
        for (const auto& Column : Columns)
            AddCell(Column, Row);
}

void TFractalPanel::AddSpiral(std::int32_t Wide, std::int32_t High) {
    const QSize Size = DeviceSize();
    const auto Columns = BackwardDivision(Size.width(), Wide);
    const auto Rows = BackwardDivision(Size.height(), High);
    for (const auto& Cell : SpiralOrder(Wide, High))
        AddCell(Columns[Cell.Column], Rows[Cell.Row]);
}

void TFractalPanel::AddEdges(std::int32_t Wide, std::int32_t High, TFrameEdges Edges) {
    if (Wide < 1 || High < 1)
        return;
    const QSize Size = DeviceSize();
    const auto Columns = BackwardDivision(Size.width(), Wide);
    const auto Rows = BackwardDivision(Size.height(), High);
    const bool Left = Edges & LeftColumn;
    const bool Top = Edges & TopRow;
    const bool Right = Edges & RightColumn;
    const bool Bottom = Edges & BottomRow;
    for (std::int32_t R = 0; R < High; ++R)
        for (std::int32_t C = 0; C < Wide; ++C) {
            // A corner on two chosen edges is still one cell: appended once.
            const bool OnEdge = (Left && C == 0) || (Top && R == 0) || (Right && C == Wide - 1) ||
                                (Bottom && R == High - 1);
            if (OnEdge)
                AddCell(Columns[C], Rows[R]);
        }
    if (!(Edges & InnerLast))
        return;
    const std::int32_t FirstColumn = Left ? 1 : 0;
    const std::int32_t LastColumn = Right ? Wide - 2 : Wide - 1;
    const std::int32_t FirstRow = Top ? 1 : 0;
    const std::int32_t LastRow = Bottom ? High - 2 : High - 1;
    if (FirstColumn > LastColumn || FirstRow > LastRow)
        return;
    const std::int32_t InnerLeft = Columns[FirstColumn].Start;
    const std::int32_t InnerTop = Rows[FirstRow].Start;
    AddFrame(InnerLeft, InnerTop, Columns[LastColumn].End() - InnerLeft,
             Rows[LastRow].End() - InnerTop);
}

TFractalFrame& TFractalPanel::CurrentFrame() {
    if (FFrames.empty())
        throw ERangeError();
    // The list may have been rebuilt since the index was last advanced.
    FFrameIndex %= FrameCount();
    return *FFrames[FFrameIndex];
}

void TFractalPanel::AdvanceFrame() {
    if (FFrames.empty())
        throw ERangeError();
    FFrameIndex = (FFrameIndex + 1) % FrameCount();
}

void TFractalPanel::SetColours(const std::vector<TColour>& Colours, bool AFadeFromBlack,
                               std::int32_t ABands) {
    // Refused here rather than at the next activation, where the table would be half
    // built: a gradient needs two entries, and a colour has 24 bits.
    if (ABands < MinBands)
        throw ERangeError();
    for (const TColour Colour : Colours)
        if (Colour < 0 || Colour > MaxColour)
            throw ERangeError();
    FBaseColours = Colours.empty() ? DefaultBaseColours() : Colours;
    FFadeFromBlack = AFadeFromBlack;
    FBands = ABands;
}

void TFractalPanel::SetFractalOptions(std::int32_t AInitialStep, std::int32_t AMaxAge,
                                      Extended ADistanceLimit, bool AHighlightCalculations) {
    FInitialStep = AInitialStep;
    FMaxAge = AMaxAge;
    FDistanceLimit = ADistanceLimit;
    FHighlightCalculations = AHighlightCalculations;
    if (FPainter)
        ApplySettings(*FPainter);
}

void TFractalPanel::ApplySettings(TMandelPaint& APainter) {
    // Held whenever it is painting, also when it is not this panel's own painter: the
    // painter thread reads the table and the options in every cycle.
    const TSuspendGuard Hold(APainter, FResting && &APainter == FPainter.get());
    BuildColourTable(APainter, FBaseColours, FFadeFromBlack, FBands);
    APainter.InitialStep = FInitialStep;
    APainter.MaxAge = FMaxAge;
    APainter.DistanceLimit = FDistanceLimit;
    APainter.ShowZoomFrame = FShowZoomFrame;
    APainter.DeepZoom = FDeepZoom;
    APainter.HighlightCalculations = FHighlightCalculations;
}

void TFractalPanel::SetSeen(bool Value) {
    if (Value == Seen())
        return;
    TSurfaceWidget::SetSeen(Value);
    if (!FActive)
        return;
    if (!Value) {
        FTimer.stop();
        // Held at its next safe point; one between two views stays parked, as no tick
        // hands it a frame.
        if (!FResting && FPainter->Busy()) {
            FPainter->Suspend();
            FResting = true;
        }
        return;
    }
    if (FResting) {
        FPainter->Resume();
        FResting = false;
    }
    FTimer.start();
}

void TFractalPanel::ReportPainterFailure() {
    if (FPainterFailureReported || !FPainter->Finished())
        return;
    FPainterFailureReported = true;
    if (const std::exception_ptr Failure = FPainter->FatalException()) {
        try {
            std::rethrow_exception(Failure);
        } catch (const std::exception& Error) {
            ReportError("TMandelPaint", Error);
        }
    }
}

void TFractalPanel::TimerTick() {
    const std::lock_guard Canvas(FCanvasLock);
    if (FPainter && FActive && FPainter->Busy() && FTargetWindow &&
        FTargetWindow->Surface().get() != FTargetSurface) {
        // The surface it paints into was replaced (another size or scale of the monitor, a
        // new way to the screen): its view would go on where nobody sees it. A new painter
        // starts on the new surfaces.
        Deactivate();
        Activate();
    }
    if (!FPainter || FPainter->Busy() || !FActive || !Seen())
        return;
    // A painter thread ended by an error accepts requests but paints nothing more; say
    // so once instead of ticking on in silence.
    ReportPainterFailure();
    const auto Count = static_cast<std::int32_t>(FPanels.size());
    // A panel without frames (too small, or its layout not built yet) or one destroyed
    // while linked cannot be painted: the rotation moves on to the next panel within
    // the same tick. When no panel has a frame, the tick paints nothing and the index
    // comes back to where it started.
    for (std::int32_t Tried = 0; Tried < Count; ++Tried) {
        TFractalPanel* P = FPanels[FPanelIndex];
        const std::int32_t Next = (FPanelIndex + 1) % Count;
        if (P == nullptr || P->FrameCount() == 0) {
            FPanelIndex = Next;
            continue;
        }
        TRect R = P->CurrentFrame().GetRect();
        // The painter refuses an area wider or higher than its limit; such a frame (only
        // on a display far beyond today's sizes) is painted over the limit's extent from
        // its top-left corner rather than not at all.
        R.Right = std::min(R.Right, CheckedAdd(R.Left, TFunctionPaint::MaxAreaSide - 1));
        R.Bottom = std::min(R.Bottom, CheckedAdd(R.Top, TFunctionPaint::MaxAreaSide - 1));
        FPainter->StartPaint(P->Handle(), R);
        FTargetWindow = P->SurfaceWindow();
        FTargetSurface = FTargetWindow->Surface().get();
        // Only after the request: a refused one is asked again at the next tick.
        P->AdvanceFrame();
        FPanelIndex = Next;
        return;
    }
}
