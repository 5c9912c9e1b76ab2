#pragma once

#include "config/SettingsPage.h"

class QLabel;
class TCheckBox;
class TComponentState;
class TFractalPanel;
class TRadioGroup;
class TTrackBar;

// The Fractal page: how the painter refines and when it gives up on a point. Shared by
// every monitor.
class TConfigureFractalFrame : public TSettingsPage {
    Q_OBJECT

public:
    static constexpr int MinLevel = 1;
    static constexpr int MaxLevel = 8;
    static constexpr int DefaultLevel = 6;
    static constexpr int DefaultItem = 4;
    // Taken when no item of the group is selected.
    static constexpr int NoMaxAge = 100;
    static constexpr int NoDistanceLimit = 2;

    explicit TConfigureFractalFrame(QWidget* Owner = nullptr);

    void ApplyTo(TFractalPanel& Panel);

    void rgMaxAgeClick(QObject* Sender);
    void tbOptimizationChange(QObject* Sender);

    TRadioGroup* rgMaxAge;
    TRadioGroup* rgDistanceLimit;
    QLabel* lOptimization;
    QLabel* lOptimizationLevel;
    TTrackBar* tbOptimization;
    TCheckBox* ckHighlightCalculations;
    TCheckBox* ckDeepZoom;
    TComponentState* csFractalFrame;
};
