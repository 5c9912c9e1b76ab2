#pragma once

#include "engine/Extended.h"
#include "engine/MandelPaint.h"
#include "panel/FractalFrame.h"
#include "panel/FrameEdges.h"
#include "panel/FrameMatrix.h"
#include "platform/qt/SurfaceWidget.h"

#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// The control the saver shows its fractal views on. It divides its area into a list of
// frames and, while active, owns one painter that paints one view after another into
// those frames and into the frames of the panels linked into its rotation, one frame at a
// time. The panel draws nothing itself: its surface shows its background colour until
// the painter draws there. All coordinates are device pixels, so on a scaled display the
// frames and the painter work at full resolution. Used only on the GUI thread.
// The division rules and the rotation are explained in docs/panel.md.
class TFractalPanel : public TSurfaceWidget {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
public:
    using TFrameList = std::vector<std::unique_ptr<TFractalFrame>>;
    using TPanelList = std::vector<QPointer<TFractalPanel>>;

    static constexpr int TimerInterval = 100; // milliseconds between two hand-overs
    // The palette before any SetColours: the default colours with the Colour page's
    // default fade and band count, so an early activation still paints in colour.
    static constexpr bool DefaultFadeFromBlack = true;
    static constexpr std::int32_t DefaultBands = 32;
    // A gradient needs a first and a last entry.
    static constexpr std::int32_t MinBands = 2;
    static constexpr TColour MaxColour = 0xFFFFFF;
    // The view a new painter starts with: the whole set.
    static constexpr Extended StartCentreX = 0.0L;
    static constexpr Extended StartCentreY = 0.0L;
    static constexpr Extended StartRadius = 4.0L;

    explicit TFractalPanel(QWidget* Owner = nullptr);
    ~TFractalPanel() override;

    bool Active() const { return FActive; }
    // Activation creates and configures the painter; deactivation stops it and waits for
    // its thread. Setting the current value does nothing.
    void SetActive(bool Value);

    // Takes Other into this panel's rotation (not owned); the rotation restarts here.
    void LinkPanel(TFractalPanel* Other);

    void ClearFrames();
    // Appends a frame unless a side is under TFractalFrame::MinSide pixels.
    void AddFrame(std::int32_t Left, std::int32_t Top, std::int32_t Width, std::int32_t Height);
    // Layouts of a Wide x High matrix over the panel's current size. Wide or High below 1
    // append nothing in every layout.
    void AddScan(std::int32_t Wide, std::int32_t High);
    void AddSpiral(std::int32_t Wide, std::int32_t High);
    void AddEdges(std::int32_t Wide, std::int32_t High, TFrameEdges Edges);

    std::int32_t FrameCount() const { return static_cast<std::int32_t>(FFrames.size()); }
    // Raises ERangeError on an empty frame list.
    TFractalFrame& CurrentFrame();
    void AdvanceFrame();

    // Stores the palette settings; a running painter sees them at the next
    // SetFractalOptions or activation. An empty list means the default colours.
    void SetColours(const std::vector<TColour>& Colours, bool AFadeFromBlack, std::int32_t ABands);
    // Stores the options and, while active, applies every setting to the painter at once.
    void SetFractalOptions(std::int32_t AInitialStep, std::int32_t AMaxAge, Extended ADistanceLimit,
                           bool AHighlightCalculations);
    // Whether painters outline the next view's area when they finish one. A running
    // painter sees it at the next SetFractalOptions or activation.
    void SetShowZoomFrame(bool Value) { FShowZoomFrame = Value; }
    bool ShowZoomFrame() const { return FShowZoomFrame; }
    // Whether painters dive on past the reach of the 80-bit numbers. A running painter
    // sees it at the next SetFractalOptions or activation, and uses it from its next view.
    void SetDeepZoom(bool Value) { FDeepZoom = Value; }
    bool DeepZoom() const { return FDeepZoom; }
    // Copies the palette and the options into APainter, holding it between two
    // calculation cycles for the change if it is painting.
    void ApplySettings(TMandelPaint& APainter);

    // Hands the next frame of the rotation to an idle painter. Runs every TimerInterval
    // while active; public so that owners and tests can drive it directly.
    void TimerTick();

    // While nobody can see any window of the rotation, the painter rests: the timer stops
    // and a painter in the middle of a view is held between two calculation cycles, so
    // the process uses no processor. Seen again, the painter goes on with that same view
    // and the timer runs again. The owner tells every panel of the rotation.
    void SetSeen(bool Value) override;
    // Whether this panel holds its painter because nobody can see it.
    bool Resting() const { return FResting; }

    TMandelPaint* Painter() const { return FPainter.get(); }
    const TFrameList& Frames() const { return FFrames; }
    const std::vector<TColour>& BaseColours() const { return FBaseColours; }
    bool FadeFromBlack() const { return FFadeFromBlack; }
    std::int32_t Bands() const { return FBands; }
    std::int32_t InitialStep() const { return FInitialStep; }
    std::int32_t MaxAge() const { return FMaxAge; }
    Extended DistanceLimit() const { return FDistanceLimit; }
    bool HighlightCalculations() const { return FHighlightCalculations; }
    const TPanelList& Panels() const { return FPanels; }
    const QTimer& Timer() const { return FTimer; }
    std::int32_t FrameIndex() const { return FFrameIndex; }
    std::int32_t PanelIndex() const { return FPanelIndex; }
    // Held by the tick around the hand-over of a frame; see the field.
    std::mutex& CanvasLock() { return FCanvasLock; }

private:
    void Activate();
    void Deactivate();
    void AddCell(const TMatrixSpan& Column, const TMatrixSpan& Row);
    void ReportPainterFailure();

    std::unique_ptr<TMandelPaint> FPainter;
    TFrameList FFrames;
    std::vector<TColour> FBaseColours;
    bool FFadeFromBlack = DefaultFadeFromBlack;
    std::int32_t FBands = DefaultBands;
    // Until SetFractalOptions, the painter's own defaults.
    std::int32_t FInitialStep = TFunctionPaint::DefaultInitialStep;
    std::int32_t FMaxAge = TMandelPaint::DefaultMaxAge;
    Extended FDistanceLimit = TMandelPaint::DefaultDistanceLimit;
    bool FHighlightCalculations = false;
    bool FShowZoomFrame = false;
    bool FDeepZoom = false;
    // Entry 0 is this panel. Guarded pointers: a linked panel destroyed while still in
    // the rotation drops out of it instead of leaving a dangling entry.
    TPanelList FPanels;
    QTimer FTimer;
    bool FActive = false;
    std::int32_t FFrameIndex = 0;
    std::int32_t FPanelIndex = 0;
    // The canvas lock: held by the tick while it hands a frame to the painter, so that
    // anything else that must not overlap a hand-over (a snapshot of the panel, an
    // owner rebuilding the rotation from another event) can exclude it by taking this
    // lock. The painter thread never takes it: it draws through its own device context,
    // and today only the GUI thread locks it.
    std::mutex FCanvasLock;
    bool FPainterFailureReported = false;
    // The painter is held by Suspend while nobody can see it.
    bool FResting = false;
    // Where the painter paints: the window, and its surface when the paint started. The
    // painter holds that surface while busy, so no other can take its address meanwhile.
    std::shared_ptr<TSurfaceWindow> FTargetWindow;
    const TSurface* FTargetSurface = nullptr;
};
