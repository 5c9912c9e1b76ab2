#include "config/frConfigureFractal.h"

#include "config/ComponentState.h"
#include "panel/FractalPanel.h"
#include "platform/Checked.h"
#include "platform/widgets/CheckBox.h"
#include "platform/widgets/RadioGroup.h"
#include "platform/widgets/TrackBar.h"

#include <QLabel>

namespace {
constexpr QSize DesignSize(466, 123);

// The selected item read as a whole number, or Fallback when none is selected.
int SelectedNumber(const TRadioGroup& Group, int Fallback) {
    const int Index = Group.ItemIndex();
    if (Index < 0)
        return Fallback;
    bool Ok = false;
    const int Value = Group.Items().at(Index).toInt(&Ok);
    if (!Ok)
        throw EYstreloError(QString("'%1' is not a valid integer value")
                                .arg(Group.Items().at(Index))
                                .toStdString());
    return Value;
}
} // namespace

TConfigureFractalFrame::TConfigureFractalFrame(QWidget* Owner)
    : TSettingsPage(Owner, "ConfigureFractalFrame", DesignSize) {
    rgMaxAge = new TRadioGroup(this);
    rgMaxAge->setObjectName("rgMaxAge");
    rgMaxAge->setTitle("Maximum Age");
    rgMaxAge->SetItems({"100", "500", "1000", "5000", "10000"});
    rgMaxAge->SetItemIndex(DefaultItem);
    FLayout.Add(rgMaxAge, {8, 8, 97, 105});

    rgDistanceLimit = new TRadioGroup(this);
    rgDistanceLimit->setObjectName("rgDistanceLimit");
    rgDistanceLimit->setTitle("Distance Limit");
    rgDistanceLimit->SetItems({"2", "10", "100", "1000", "10000"});
    rgDistanceLimit->SetItemIndex(DefaultItem);
    FLayout.Add(rgDistanceLimit, {112, 8, 105, 105});

    lOptimization = MakeLabel("lOptimization", "Optimization Level", {232, 8, 86, 13});
    lOptimizationLevel = MakeLabel("lOptimizationLevel", "#", {392, 8, 48, 13}, Qt::AlignRight);

    tbOptimization = new TTrackBar(this);
    tbOptimization->setObjectName("tbOptimization");
    tbOptimization->SetMin(MinLevel);
    tbOptimization->SetMax(MaxLevel);
    tbOptimization->SetPosition(DefaultLevel);
    tbOptimization->SetFrequency(1);
    tbOptimization->setTickPosition(QSlider::TicksBelow);
    FLayout.Add(tbOptimization, {224, 24, 225, 33}, TDesignLayout::MeasureNone);

    ckHighlightCalculations =
        MakeCheckBox("ckHighlightCalculations", "Highlight Calculations", {232, 88, 137, 17}, true);
    ckDeepZoom = MakeCheckBox("ckDeepZoom", "Deep zoom", {232, 64, 137, 17}, false);

    for (auto* Group : {rgMaxAge, rgDistanceLimit})
        connect(Group, &TRadioGroup::Click, this,
                [this](QObject* Sender) { Guarded([&] { rgMaxAgeClick(Sender); }); });
    for (auto* Box : {ckHighlightCalculations, ckDeepZoom})
        connect(Box, &TCheckBox::Click, this,
                [this](QObject* Sender) { Guarded([&] { rgMaxAgeClick(Sender); }); });
    connect(tbOptimization, &TTrackBar::Change, this,
            [this](QObject* Sender) { Guarded([&] { tbOptimizationChange(Sender); }); });

    csFractalFrame =
        MakeState("csFractalFrame", "TWinControlForm",
                  {"ckHighlightCalculations.Checked", "rgDistanceLimit.ItemIndex",
                   "rgMaxAge.ItemIndex", "tbOptimization.Position", "ckDeepZoom.Checked"});
    // Written once chosen: a file saved without it is the file saved before the box came.
    csFractalFrame->SetOptInProperties({"ckDeepZoom.Checked"});
}

void TConfigureFractalFrame::ApplyTo(TFractalPanel& Panel) {
    // The track bar keeps its position within its range, so the shift stays in range.
    const std::int32_t InitialStep =
        std::int32_t{1} << CheckedRange(tbOptimization->Position(), MinLevel, MaxLevel);
    const int MaxAge = SelectedNumber(*rgMaxAge, NoMaxAge);
    const Extended DistanceLimit = SelectedNumber(*rgDistanceLimit, NoDistanceLimit);
    // Before the options, which hand every setting to a running painter.
    Panel.SetDeepZoom(ckDeepZoom->Checked());
    Panel.SetFractalOptions(InitialStep, MaxAge, DistanceLimit, ckHighlightCalculations->Checked());
}

void TConfigureFractalFrame::rgMaxAgeClick(QObject*) {
    Changed();
}

void TConfigureFractalFrame::tbOptimizationChange(QObject*) {
    lOptimizationLevel->setText(QString::number(tbOptimization->Position()));
    Changed();
}
