#pragma once

#include "config/SettingsPage.h"
#include "platform/Colour.h"

#include <vector>

class QLabel;
class TCheckBox;
class TComponentState;
class TFractalPanel;
class TTrackBar;

// The Colour page: the base colours of the palette, the band count, the fade from black
// and the zoom outline. Shared by every monitor.
class TConfigureColoursFrame : public TSettingsPage {
    Q_OBJECT

public:
    static constexpr TColour Red = 0x0000FF;
    static constexpr TColour Green = 0x00FF00;
    static constexpr TColour Blue = 0xFF0000;
    static constexpr TColour White = 0xFFFFFF;
    static constexpr TColour Magenta = 0xFF00FF;
    static constexpr TColour Aqua = 0xFFFF00;
    static constexpr TColour Yellow = 0x00FFFF;
    static constexpr int MinBands = 4;
    static constexpr int MaxBands = 100;
    static constexpr int DefaultBands = 32;

    explicit TConfigureColoursFrame(QWidget* Owner = nullptr);

    void AddColourIf(bool Include, TColour Colour);
    void ApplyTo(TFractalPanel& Panel);

    void ckWhiteClick(QObject* Sender);
    void tbBandsChange(QObject* Sender);

    TCheckBox* ckWhite;
    TCheckBox* ckRed;
    TCheckBox* ckGreen;
    TCheckBox* ckBlue;
    TCheckBox* ckMagenta;
    TCheckBox* ckAqua;
    TCheckBox* ckYellow;
    TCheckBox* ckZoomFrame;
    TCheckBox* ckUseBlack;
    QLabel* lBands;
    QLabel* lBandCount;
    TTrackBar* tbBands;
    TComponentState* csColoursFrame;

    // Rebuilt by every ApplyTo.
    std::vector<TColour> ColourList;
};
