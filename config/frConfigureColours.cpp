#include "config/frConfigureColours.h"

#include "config/ComponentState.h"
#include "panel/FractalPanel.h"
#include "platform/widgets/CheckBox.h"
#include "platform/widgets/TrackBar.h"

#include <QLabel>

namespace {
constexpr QSize DesignSize(467, 134);
constexpr int BandsPageStep = 10;
constexpr int BandsTickEvery = 5;
} // namespace

TConfigureColoursFrame::TConfigureColoursFrame(QWidget* Owner)
    : TSettingsPage(Owner, "ConfigureColoursFrame", DesignSize) {
    ckWhite = MakeCheckBox("ckWhite", "White", {16, 16, 49, 17}, false);
    ckRed = MakeCheckBox("ckRed", "Red", {104, 16, 49, 17}, false);
    ckGreen = MakeCheckBox("ckGreen", "Green", {104, 40, 57, 17}, false);
    ckBlue = MakeCheckBox("ckBlue", "Blue", {104, 64, 49, 17}, false);
    ckMagenta = MakeCheckBox("ckMagenta", "Magenta", {192, 16, 65, 17}, true);
    ckAqua = MakeCheckBox("ckAqua", "Aqua", {192, 40, 57, 17}, true);
    ckYellow = MakeCheckBox("ckYellow", "Yellow", {192, 64, 57, 17}, true);
    ckZoomFrame = MakeCheckBox("ckZoomFrame", "Zoom Frame", {280, 16, 81, 17}, false);
    ckUseBlack = MakeCheckBox("ckUseBlack", "Fade from Black", {280, 64, 97, 17}, true);
    lBands = MakeLabel("lBands", "Colour Gradient", {16, 80, 89, 13});
    lBandCount = MakeLabel("lBandCount", "#", {408, 80, 40, 13}, Qt::AlignRight);

    tbBands = new TTrackBar(this);
    tbBands->setObjectName("tbBands");
    tbBands->SetMin(MinBands);
    tbBands->SetMax(MaxBands);
    tbBands->SetPosition(DefaultBands);
    tbBands->SetPageSize(BandsPageStep);
    tbBands->SetFrequency(BandsTickEvery);
    tbBands->setTickPosition(QSlider::TicksBelow);
    FLayout.Add(tbBands, {8, 96, 449, 33}, TDesignLayout::MeasureNone);

    for (auto* Box :
         {ckWhite, ckRed, ckGreen, ckBlue, ckMagenta, ckAqua, ckYellow, ckZoomFrame, ckUseBlack})
        connect(Box, &TCheckBox::Click, this,
                [this](QObject* Sender) { Guarded([&] { ckWhiteClick(Sender); }); });
    connect(tbBands, &TTrackBar::Change, this,
            [this](QObject* Sender) { Guarded([&] { tbBandsChange(Sender); }); });

    csColoursFrame =
        MakeState("csColoursFrame", "TWinControlForm",
                  {"ckAqua.Checked", "ckBlue.Checked", "ckGreen.Checked", "ckMagenta.Checked",
                   "ckRed.Checked", "ckUseBlack.Checked", "ckWhite.Checked", "ckYellow.Checked",
                   "ckZoomFrame.Checked", "tbBands.Position"});
}

void TConfigureColoursFrame::AddColourIf(bool Include, TColour Colour) {
    if (Include)
        ColourList.push_back(Colour);
}

void TConfigureColoursFrame::ApplyTo(TFractalPanel& Panel) {
    ColourList.clear();
    // The palette's order, not the order on screen.
    AddColourIf(ckRed->Checked(), Red);
    AddColourIf(ckGreen->Checked(), Green);
    AddColourIf(ckBlue->Checked(), Blue);
    AddColourIf(ckWhite->Checked(), White);
    AddColourIf(ckMagenta->Checked(), Magenta);
    AddColourIf(ckAqua->Checked(), Aqua);
    AddColourIf(ckYellow->Checked(), Yellow);
    if (ColourList.empty())
        AddColourIf(true, White);
    Panel.SetColours(ColourList, ckUseBlack->Checked(), tbBands->Position());
    Panel.SetShowZoomFrame(ckZoomFrame->Checked());
}

void TConfigureColoursFrame::ckWhiteClick(QObject*) {
    Changed();
}

void TConfigureColoursFrame::tbBandsChange(QObject*) {
    lBandCount->setText(QString::number(tbBands->Position()));
    Changed();
}
