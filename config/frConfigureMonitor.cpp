#include "config/frConfigureMonitor.h"

#include "config/ComponentState.h"
#include "panel/FractalPanel.h"
#include "platform/widgets/CheckBox.h"
#include "platform/widgets/Edit.h"
#include "platform/widgets/Shape.h"
#include "platform/widgets/UpDown.h"

#include <QLabel>

namespace {
constexpr QSize DesignSize(464, 142);

TEdit* MakeEdit(QWidget* Owner, const char* Name, int Value) {
    auto* Edit = new TEdit(Owner);
    Edit->setObjectName(Name);
    Edit->SetText(QString::number(Value));
    Edit->setAlignment(Qt::AlignRight);
    return Edit;
}

TUpDown* MakeUpDown(QWidget* Owner, const char* Name, TEdit* Buddy, int Position) {
    auto* Up = new TUpDown(Owner);
    Up->setObjectName(Name);
    Up->SetMin(TConfigureMonitorFrame::MinCells);
    Up->SetMax(TConfigureMonitorFrame::MaxCells);
    Up->SetPosition(Position);
    Up->SetAssociate(Buddy);
    return Up;
}
} // namespace

bool SameMonitor(const TMonitor& A, const TMonitor& B) {
    return A.MonitorNum == B.MonitorNum && A.BoundsRect == B.BoundsRect && A.Width == B.Width &&
           A.Height == B.Height && A.Primary == B.Primary && A.Screen == B.Screen;
}

TConfigureMonitorFrame::TConfigureMonitorFrame(QWidget* Owner)
    : TSettingsPage(Owner, "ConfigureMonitorFrame", DesignSize) {
    ckNoFrame = MakeCheckBox("ckNoFrame", "No Frame", {24, 8, 73, 17}, false);
    ckLetterbox = MakeCheckBox("ckLetterbox", "Letterbox", {24, 32, 73, 17}, false);
    ckPillar = MakeCheckBox("ckPillar", "Pillar", {24, 56, 49, 17}, false);
    ckTopRow = MakeCheckBox("ckTopRow", "Top Row", {24, 80, 73, 17}, false);
    ckBottomRow = MakeCheckBox("ckBottomRow", "Bottom Row", {24, 104, 89, 17}, false);
    ckSpiral = MakeCheckBox("ckSpiral", "Spiral", {128, 8, 49, 17}, false);
    ckBorder = MakeCheckBox("ckBorder", "Border", {128, 32, 57, 17}, false);
    ckScan = MakeCheckBox("ckScan", "Scan", {128, 56, 49, 17}, false);
    ckLeftColumn = MakeCheckBox("ckLeftColumn", "Left Column", {128, 80, 81, 17}, false);
    ckRightColumn = MakeCheckBox("ckRightColumn", "Right Column", {128, 104, 89, 17}, false);

    Shape1 = new TShape(this);
    Shape1->setObjectName("Shape1");
    FLayout.Add(Shape1, {312, 40, 100, 75}, TDesignLayout::MeasureNone);
    lFrameMatrix = MakeLabel("lFrameMatrix", "Frame Matrix", {320, 97, 60, 13});

    eWide = MakeEdit(this, "eWide", DefaultWide);
    FLayout.Add(eWide, {344, 14, 25, 21}, TDesignLayout::MeasureHeight);
    spWide = MakeUpDown(this, "spWide", eWide, DefaultWide);
    FLayout.Add(spWide, {369, 14, 16, 21}, TDesignLayout::MeasureNone);
    eHigh = MakeEdit(this, "eHigh", DefaultHigh);
    FLayout.Add(eHigh, {416, 70, 25, 21}, TDesignLayout::MeasureHeight);
    spHigh = MakeUpDown(this, "spHigh", eHigh, DefaultHigh);
    FLayout.Add(spHigh, {441, 70, 16, 21}, TDesignLayout::MeasureNone);

    ckCustom = MakeCheckBox("ckCustom", "Custom for this Monitor", {320, 120, 137, 17}, false);

    for (auto* Box : {ckNoFrame, ckLetterbox, ckPillar, ckTopRow, ckBottomRow, ckSpiral, ckBorder,
                      ckScan, ckLeftColumn, ckRightColumn, ckCustom})
        connect(Box, &TCheckBox::Click, this,
                [this](QObject* Sender) { Guarded([&] { CheckboxChanged(Sender); }); });
    for (auto* Edit : {eWide, eHigh})
        connect(Edit, &TEdit::Change, this,
                [this](QObject* Sender) { Guarded([&] { EditChanged(Sender); }); });

    csMonitorFrame =
        MakeState("csMonitorFrame", QString(),
                  {"ckBorder.Checked", "ckBottomRow.Checked", "ckCustom.Checked",
                   "ckLeftColumn.Checked", "ckLetterbox.Checked", "ckNoFrame.Checked",
                   "ckPillar.Checked", "ckRightColumn.Checked", "ckScan.Checked",
                   "ckSpiral.Checked", "ckTopRow.Checked", "spHigh.Position", "spWide.Position"});
}

void TConfigureMonitorFrame::BindMonitor(const TMonitor& AMonitor) {
    if (Monitor && SameMonitor(*Monitor, AMonitor))
        return;
    Monitor = AMonitor;
    ckCustom->setVisible(!AMonitor.Primary);
    if (AMonitor.Primary)
        ckCustom->SetChecked(false);
    csMonitorFrame->SetSection(QString("Monitor-%1").arg(AMonitor.MonitorNum));
    ShowLayoutEnabled();
}

bool TConfigureMonitorFrame::UsesOwnLayout() const {
    return !Monitor || Monitor->Primary || ckCustom->Checked();
}

void TConfigureMonitorFrame::ApplyTo(TFractalPanel& Panel) {
    Panel.ClearFrames();
    const int Wide = spWide->Position();
    const int High = spHigh->Position();
    if (ckSpiral->Checked())
        Panel.AddSpiral(Wide, High);
    if (ckPillar->Checked())
        Panel.AddEdges(Wide, High, EdgesPillar);
    if (ckTopRow->Checked())
        Panel.AddEdges(Wide, High, EdgesTopRow);
    if (ckBottomRow->Checked())
        Panel.AddEdges(Wide, High, EdgesBottomRow);
    if (ckNoFrame->Checked())
        Panel.AddScan(1, 1);
    if (ckBorder->Checked())
        Panel.AddEdges(Wide, High, EdgesBorder);
    if (ckLetterbox->Checked())
        Panel.AddEdges(Wide, High, EdgesLetterbox);
    if (ckLeftColumn->Checked())
        Panel.AddEdges(Wide, High, EdgesLeftColumn);
    if (ckRightColumn->Checked())
        Panel.AddEdges(Wide, High, EdgesRightColumn);
    if (ckScan->Checked())
        Panel.AddScan(Wide, High);
    // Nothing checked, or every frame too small for the panel: the whole panel.
    if (Panel.FrameCount() == 0)
        Panel.AddScan(1, 1);
}

void TConfigureMonitorFrame::CheckboxChanged(QObject* Sender) {
    if (Sender == ckCustom)
        ShowLayoutEnabled();
    Changed();
}

void TConfigureMonitorFrame::EditChanged(QObject*) {
    Changed();
}

void TConfigureMonitorFrame::ShowLayoutEnabled() {
    const bool Enabled = UsesOwnLayout();
    for (QWidget* Control : std::initializer_list<QWidget*>{
             ckNoFrame, ckLetterbox, ckPillar, ckTopRow, ckBottomRow, ckSpiral, ckBorder, ckScan,
             ckLeftColumn, ckRightColumn, Shape1, lFrameMatrix, eWide, spWide, eHigh, spHigh})
        Control->setEnabled(Enabled);
}
