#pragma once

#include "config/ComponentState.h"
#include "config/Form.h"
#include "config/Frame.h"
#include "config/IniFileStore.h"
#include "platform/widgets/CheckBox.h"
#include "platform/widgets/RadioGroup.h"
#include "platform/widgets/TrackBar.h"
#include "platform/widgets/UpDown.h"

#include <QTabWidget>

#include <functional>
#include <vector>

class TTestPageControl : public QTabWidget {
    Q_OBJECT
    Q_PROPERTY(QWidget* ActivePage READ currentWidget WRITE setCurrentWidget)

public:
    using QTabWidget::QTabWidget;
};

// The configuration dialog's settings as the program lays them out: its own state object,
// then a Colour, a Fractal and one Frames page per monitor, each with its state object.
class TTestDialog : public TForm {
    Q_OBJECT

public:
    explicit TTestDialog(int Monitors) : FMonitors(Monitors) {
        fsConfiguration = new TIniFileStore(this);
        fsConfiguration->SetIniFileName("Ystrelo.ini");
        pcFrames = new TTestPageControl(this);
        pcFrames->setObjectName("pcFrames");
        csConfigure = State(this, "Configuration", {"pcFrames.ActivePage"});
        OnCreate = [this](QObject*) { FormCreate(); };
    }

    void RestoreSettings() {
        for (auto* S : States)
            S->RestoreState();
    }
    void SaveSettings() {
        for (auto* S : States)
            S->SaveState();
    }
    template <class T> T* Control(int Page, const char* Name) const {
        return Pages[static_cast<std::size_t>(Page)]->findChild<T*>(Name);
    }

    TIniFileStore* fsConfiguration;
    TTestPageControl* pcFrames;
    TComponentState* csConfigure;
    std::vector<TComponentState*> States;
    std::vector<TFrame*> Pages;

private:
    TComponentState* State(QObject* Owner, const QString& Section, const QStringList& Entries) {
        auto* S = new TComponentState(Owner);
        S->SetSection(Section);
        S->SetStorage(fsConfiguration);
        S->SetStoredProperties(Entries);
        States.push_back(S);
        return S;
    }

    static void Check(QObject* Owner, const char* Name, bool Checked) {
        auto* Box = new TCheckBox(static_cast<QWidget*>(Owner));
        Box->setObjectName(Name);
        Box->SetChecked(Checked);
    }

    static void Track(QObject* Owner, const char* Name, int Min, int Max, int Position) {
        auto* Bar = new TTrackBar(static_cast<QWidget*>(Owner));
        Bar->setObjectName(Name);
        Bar->SetMin(Min);
        Bar->SetMax(Max);
        Bar->SetPosition(Position);
    }

    static void Radio(QObject* Owner, const char* Name, const QStringList& Items) {
        auto* Group = new TRadioGroup(static_cast<QWidget*>(Owner));
        Group->setObjectName(Name);
        Group->SetItems(Items);
        Group->SetItemIndex(4);
    }

    static void Spin(QObject* Owner, const char* Name, const char* Buddy, int Position) {
        auto* Edit = new TEdit(static_cast<QWidget*>(Owner));
        Edit->setObjectName(Buddy);
        auto* Up = new TUpDown(static_cast<QWidget*>(Owner));
        Up->setObjectName(Name);
        Up->SetMin(1);
        Up->SetMax(10);
        Up->SetPosition(Position);
        Up->SetAssociate(Edit);
    }

    TFrame* Page(const QString& Section, const QStringList& Entries,
                 const std::function<void(TFrame*)>& Build) {
        auto* P = new TFrame(this);
        Build(P);
        State(P, Section, Entries);
        P->AfterConstruction();
        pcFrames->addTab(P, Section);
        Pages.push_back(P);
        return P;
    }

    void FormCreate() {
        Page("TWinControlForm",
             {"ckAqua.Checked", "ckBlue.Checked", "ckGreen.Checked", "ckMagenta.Checked",
              "ckRed.Checked", "ckUseBlack.Checked", "ckWhite.Checked", "ckYellow.Checked",
              "ckZoomFrame.Checked", "tbBands.Position"},
             [](TFrame* P) {
                 for (const char* Name : {"ckAqua", "ckMagenta", "ckUseBlack", "ckYellow"})
                     Check(P, Name, true);
                 for (const char* Name : {"ckBlue", "ckGreen", "ckRed", "ckWhite", "ckZoomFrame"})
                     Check(P, Name, false);
                 Track(P, "tbBands", 4, 100, 32);
             });
        Page("TWinControlForm",
             {"ckHighlightCalculations.Checked", "rgDistanceLimit.ItemIndex", "rgMaxAge.ItemIndex",
              "tbOptimization.Position"},
             [](TFrame* P) {
                 Check(P, "ckHighlightCalculations", true);
                 Radio(P, "rgDistanceLimit", {"2", "10", "100", "1000", "10000"});
                 Radio(P, "rgMaxAge", {"100", "500", "1000", "5000", "10000"});
                 Track(P, "tbOptimization", 1, 8, 6);
             });
        for (int I = 0; I < FMonitors; ++I) {
            Page("TWinControlForm",
                 {"ckBorder.Checked", "ckBottomRow.Checked", "ckCustom.Checked",
                  "ckLeftColumn.Checked", "ckLetterbox.Checked", "ckNoFrame.Checked",
                  "ckPillar.Checked", "ckRightColumn.Checked", "ckScan.Checked", "ckSpiral.Checked",
                  "ckTopRow.Checked", "spHigh.Position", "spWide.Position"},
                 [](TFrame* P) {
                     for (const char* Name : {"ckBorder", "ckBottomRow", "ckCustom", "ckLeftColumn",
                                              "ckLetterbox", "ckNoFrame", "ckPillar",
                                              "ckRightColumn", "ckScan", "ckSpiral", "ckTopRow"})
                         Check(P, Name, false);
                     Spin(P, "spHigh", "eHigh", 3);
                     Spin(P, "spWide", "eWide", 4);
                 });
            States.back()->SetSection(QString("Monitor-%1").arg(I));
        }
        RestoreSettings();
    }

    int FMonitors;
};
