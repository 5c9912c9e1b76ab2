#pragma once

#include "config/SettingsPage.h"
#include "platform/qt/Monitors.h"

#include <optional>

class QLabel;
class TCheckBox;
class TComponentState;
class TEdit;
class TFractalPanel;
class TShape;
class TUpDown;

// The Frames page of one monitor: how that monitor's window is divided into frames.
class TConfigureMonitorFrame : public TSettingsPage {
    Q_OBJECT

public:
    static constexpr int MinCells = 1;
    static constexpr int MaxCells = 10;
    static constexpr int DefaultWide = 4;
    static constexpr int DefaultHigh = 3;

    explicit TConfigureMonitorFrame(QWidget* Owner = nullptr);

    // Binds the page to Monitor: its settings then live in that monitor's section.
    void BindMonitor(const TMonitor& AMonitor);
    void ApplyTo(TFractalPanel& Panel);
    // Whether the monitor shows this page's layout: always on the primary monitor, on the
    // others when "Custom for this Monitor" is checked. Otherwise the primary's applies.
    bool UsesOwnLayout() const;

    void CheckboxChanged(QObject* Sender);
    void EditChanged(QObject* Sender);

    TCheckBox* ckNoFrame;
    TCheckBox* ckLetterbox;
    TCheckBox* ckPillar;
    TCheckBox* ckTopRow;
    TCheckBox* ckBottomRow;
    TCheckBox* ckSpiral;
    TCheckBox* ckBorder;
    TCheckBox* ckScan;
    TCheckBox* ckLeftColumn;
    TCheckBox* ckRightColumn;
    TShape* Shape1;
    QLabel* lFrameMatrix;
    TEdit* eWide;
    TUpDown* spWide;
    TEdit* eHigh;
    TUpDown* spHigh;
    TCheckBox* ckCustom;
    TComponentState* csMonitorFrame;

    // None until BindMonitor.
    std::optional<TMonitor> Monitor;

private:
    // The layout controls are usable only while they decide the monitor's layout.
    void ShowLayoutEnabled();
};

// Whether two descriptions name the same monitor of the same monitor list.
bool SameMonitor(const TMonitor& A, const TMonitor& B);
