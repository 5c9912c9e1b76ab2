#pragma once

#include "engine/Extended.h"
#include "engine/FunctionPaint.h"

#include <vector>

class TMandelPaint;

// The escape iteration of one pixel, one step per Advance, all in extended precision.
class TMandelPaintCalculation final : public TFunctionPaintCalculation {
public:
    TMandelPaintCalculation(TMandelPaint* AOwner, std::int32_t AX, std::int32_t AY, Extended ACX,
                            Extended ACY, std::int32_t AMaxAge);

    void Advance() override;

    Extended CX;
    Extended CY;
    Extended ZR = 0;
    Extended ZI = 0;
    Extended ZR2 = 0;
    Extended ZI2 = 0;
    std::int32_t Remaining;
};

// The Mandelbrot painter: supplies the escape-time function and, after each view,
// chooses the next one itself (a zoom into the most detailed spot, or a random overview).
class TMandelPaint : public TFunctionPaint {
public:
    // Result of a point that never escapes within MaxAge steps.
    static constexpr std::int32_t InsideValue = -2;
    static constexpr std::int32_t DefaultMaxAge = 1000;
    static constexpr Extended DefaultDistanceLimit = 1000.0L;

    // View selection.
    static constexpr int SampleCount = 70;
    static constexpr int SampleMargin = 10; // keeps the 11 x 11 neighbourhood inside
    static constexpr int MinSampleSide = 2 * SampleMargin;
    static constexpr int ScoreRadius = 5;
    static constexpr int ZoomScoreThreshold = 50;
    static constexpr int EarlyStopScore = 90;
    static constexpr int MinZoomPercent = 30;
    static constexpr int ZoomPercentRange = 50; // 30 .. 79 per cent

    TMandelPaint();
    ~TMandelPaint() override;

    void SetView(Extended ACentreX, Extended ACentreY, Extended ARadius);
    // Share in whole per cent of the 11 x 11 neighbourhood that differs from the pixel.
    int DetailScore(std::int32_t X, std::int32_t Y) const;

    std::vector<Extended> YCoords;
    std::vector<Extended> XCoords;
    Extended CentreX = 0;
    Extended CentreY = 0;
    Extended Radius = 0;
    // Written by the owner only while the painter is idle or held.
    std::int32_t MaxAge = DefaultMaxAge;
    Extended DistanceLimit = DefaultDistanceLimit; // bound on |z|^2, not |z|
    bool ShowZoomFrame = true;

protected:
    void PrepareArea() override;
    void AfterPaint() override;
    TFunctionPaintCalculation* CreateCalculation(std::int32_t X, std::int32_t Y) override;

private:
    void ComputeCoordinates();
    bool PrecisionExhausted() const;
    void ChooseRandomOverview();
    void DrawZoomFrame(std::int32_t BestX, std::int32_t BestY, int ZoomPercent);
    void InvertPixel(std::int32_t X, std::int32_t Y);
};
