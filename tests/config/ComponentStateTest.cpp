#include "ConfigTestSupport.h"
#include "TestComponent.h"
#include "TestDialog.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const QStringList ColourKeys = {"ckAqua.Checked=True",       "ckBlue.Checked=False",
                                "ckGreen.Checked=False",     "ckMagenta.Checked=True",
                                "ckRed.Checked=False",       "ckUseBlack.Checked=True",
                                "ckWhite.Checked=False",     "ckYellow.Checked=True",
                                "ckZoomFrame.Checked=False", "tbBands.Position=32"};
const QStringList FractalKeys = {"ckHighlightCalculations.Checked=True",
                                 "rgDistanceLimit.ItemIndex=4", "rgMaxAge.ItemIndex=4",
                                 "tbOptimization.Position=6"};
const QStringList MonitorKeys = {
    "ckBorder.Checked=False",     "ckBottomRow.Checked=False",   "ckCustom.Checked=False",
    "ckLeftColumn.Checked=False", "ckLetterbox.Checked=False",   "ckNoFrame.Checked=False",
    "ckPillar.Checked=False",     "ckRightColumn.Checked=False", "ckScan.Checked=False",
    "ckSpiral.Checked=False",     "ckTopRow.Checked=False",      "spHigh.Position=3",
    "spWide.Position=4"};

std::string Section(const QString& Name, const QStringList& Keys) {
    return ("[" + Name + "]\n" + Keys.join('\n') + "\n").toStdString();
}

class ComponentState : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
    TProfileFolder Folder;
};

} // namespace

TEST_F(ComponentState, WithoutAFileRestoreChangesNothingAndSaveWritesInDialogOrder) {
    std::unique_ptr<TTestDialog> Dialog(TForm::Create<TTestDialog>(2));
    EXPECT_FALSE(std::filesystem::exists(Folder.File()));
    EXPECT_TRUE(Dialog->Control<TCheckBox>(0, "ckAqua")->Checked());
    EXPECT_EQ(Dialog->Control<TTrackBar>(0, "tbBands")->Position(), 32);

    Dialog->SaveSettings();
    const auto Expected = Section("TWinControlForm", ColourKeys + FractalKeys) +
                          Section("Monitor-0", MonitorKeys) + Section("Monitor-1", MonitorKeys);
    EXPECT_EQ(ReadText(Folder.File()), Expected);
    Dialog.reset(); // saves the same values again
    EXPECT_EQ(ReadText(Folder.File()), Expected);
}

TEST_F(ComponentState, AFirstSaveOnDestructionRunsInReverseOrder) {
    delete TForm::Create<TTestDialog>(2);
    EXPECT_EQ(ReadText(Folder.File()), Section("Monitor-1", MonitorKeys) +
                                           Section("Monitor-0", MonitorKeys) +
                                           Section("TWinControlForm", FractalKeys + ColourKeys));
}

TEST_F(ComponentState, RestoresTheFilesValuesByTheirTypes) {
    // A value that cannot be read leaves the control at its design-time value; a number
    // beyond a control's limits is the control's to clamp, but a selection must name an item.
    WriteText(Folder.File(), "[TWinControlForm]\nckAqua.Checked=false\nckMagenta.Checked=yes\n"
                             "rgMaxAge.ItemIndex=abc\nrgDistanceLimit.ItemIndex=-1\n"
                             "tbBands.Position=abc\ntbOptimization.Position=99\n"
                             "[Monitor-0]\nspWide.Position= 5 \nspHigh.Position=1e3\n"
                             "ckScan.Checked=True\n");
    std::unique_ptr<TTestDialog> Dialog(TForm::Create<TTestDialog>(1));
    EXPECT_FALSE(Dialog->Control<TCheckBox>(0, "ckAqua")->Checked());
    EXPECT_TRUE(Dialog->Control<TCheckBox>(0, "ckMagenta")->Checked());
    EXPECT_EQ(Dialog->Control<TTrackBar>(0, "tbBands")->Position(), 32);
    EXPECT_EQ(Dialog->Control<TRadioGroup>(1, "rgMaxAge")->ItemIndex(), 4);
    EXPECT_EQ(Dialog->Control<TRadioGroup>(1, "rgDistanceLimit")->ItemIndex(), 4);
    EXPECT_EQ(Dialog->Control<TTrackBar>(1, "tbOptimization")->Position(), 8);
    EXPECT_EQ(Dialog->Control<TUpDown>(2, "spWide")->Position(), 5);
    EXPECT_EQ(Dialog->Control<TUpDown>(2, "spHigh")->Position(), 3);
    EXPECT_EQ(Dialog->Control<TEdit>(2, "eWide")->Text(), "5");
    EXPECT_TRUE(Dialog->Control<TCheckBox>(2, "ckScan")->Checked());
}

TEST_F(ComponentState, KeepsARemovedMonitorsSectionAndNeverWritesConfiguration) {
    const std::string Gone = "[Monitor-2]\n; kept as it is\nspWide.Position=9\n\n";
    WriteText(Folder.File(), Gone);
    auto* Dialog = TForm::Create<TTestDialog>(2);
    Dialog->pcFrames->setCurrentIndex(2);
    Dialog->show();
    Dialog->Control<TCheckBox>(3, "ckSpiral")->SetChecked(true);
    EXPECT_TRUE(Dialog->close()); // the close request saves
    EXPECT_NE(ReadText(Folder.File()).find("ckSpiral.Checked=True"), std::string::npos);
    delete Dialog;
    const auto Text = ReadText(Folder.File());
    EXPECT_EQ(Text.substr(0, Gone.size()), Gone);
    EXPECT_EQ(Text.find("Configuration"), std::string::npos);
}

TEST_F(ComponentState, SavesOnlyWhatItMayAndWhereItMay) {
    QWidget Owner;
    auto* Box = new TCheckBox(&Owner);
    Box->setObjectName("ckRed");
    TIniFileStore Store;
    Store.SetIniFileName("Ystrelo.ini");
    TComponentState State(&Owner);
    State.SetSection("S");
    State.SetStorage(&Store);
    State.SetStoredProperties({"ckRed.Checked"});

    State.SaveState(); // never restored: the design-time value must not replace the user's
    EXPECT_FALSE(std::filesystem::exists(Folder.File()));
    EXPECT_FALSE(State.Saved());
    State.SetActive(false); // not automatic: the owner decides
    State.SaveState();
    EXPECT_EQ(ReadText(Folder.File()), "[S]\nckRed.Checked=False\n");
    EXPECT_TRUE(State.Saved());
    State.RestoreState();
    EXPECT_TRUE(State.Restored());
    EXPECT_FALSE(State.Saved());

    // A file that cannot be written is reported to whoever asked for the save.
    std::filesystem::remove(Folder.File());
    std::filesystem::create_directory(Folder.File());
    EXPECT_THROW(State.SaveState(), EInOutError);
    EXPECT_FALSE(State.Saved());
    EXPECT_EQ(Store.OpenCount(), 0);
}

TEST_F(ComponentState, BindsEntriesToTheOwnersComponents) {
    QWidget Owner;
    auto* Object = new TTestComponent(&Owner);
    auto* Inner = new QWidget(&Owner);
    auto* Box = new TCheckBox(Inner); // nested deeper: still the owner's
    Box->setObjectName("ckDeep");
    auto* Foreign = new TFrame(&Owner); // a frame owns its own components
    (new TCheckBox(Foreign))->setObjectName("ckForeign");
    TIniFileStore Store;
    TComponentState State(&Owner);
    State.SetStorage(&Store);
    State.SetStoredProperties({" OBJ . count ", "nodot", ".Flag", "obj.", "missing.Flag",
                               "ckDeep.Checked", "ckForeign.Checked"});
    State.Loaded();
    EXPECT_EQ(State.StoredProperties(), QStringList({"obj.count", "ckDeep.Checked"}));
    EXPECT_EQ(State.EntryComponent(0), Object);

    delete Box; // an entry whose component is gone is dropped at the next restore or save
    State.RestoreState();
    EXPECT_EQ(State.StoredProperties(), QStringList({"obj.count"}));
}

TEST_F(ComponentState, ARestoreErrorCostsOnlyItsEntry) {
    WriteText(Folder.File(), "[S]\nobj.Flag=False\nobj.Count=12\n[S.obj.Lines]\nCount=999999\n");
    QObject Owner;
    auto* Object = new TTestComponent(&Owner);
    TIniFileStore Store;
    Store.SetIniFileName("Ystrelo.ini");
    TComponentState State(&Owner);
    State.SetSection("S");
    State.SetStorage(&Store);
    State.SetStoredProperties({"obj.Flag", "obj.Lines", "obj.Count"});
    State.RestoreState();
    EXPECT_FALSE(Object->Flag);
    EXPECT_EQ(Object->Lines, QStringList({"a", "b"}));
    EXPECT_EQ(Object->Count, 12);
}

namespace {

// A form whose own handlers and whose state objects write into one log.
struct TLoggedForm {
    explicit TLoggedForm(QStringList& Log, bool AllowClose = true) {
        Form = new TForm;
        Form->OnCloseQuery = [AllowClose](QObject*, bool& CanClose) { CanClose = AllowClose; };
        Form->OnCreate = [&Log](QObject*) { Log << "form create"; };
        Form->OnDestroy = [&Log](QObject*) { Log << "form destroy"; };
        for (const char* Name : {"A", "B", "C"}) {
            auto* State = new TComponentState(Form);
            State->setObjectName(Name);
            State->OnRestoreState = [&Log, Name](QObject*) {
                Log << QString("%1 restore").arg(Name);
            };
            State->OnSaveState = [&Log, Name](QObject*) { Log << QString("%1 save").arg(Name); };
        }
        Form->AfterConstruction();
    }
    TComponentState* State(const char* Name) const {
        return Form->findChild<TComponentState*>(Name);
    }
    TForm* Form;
};

} // namespace

TEST_F(ComponentState, ChainsOnTheFormsEventsInAttachOrder) {
    QStringList Log;
    TLoggedForm Logged(Log);
    EXPECT_EQ(Log, QStringList({"form create", "A restore", "B restore", "C restore"}));
    Log.clear();
    delete Logged.Form;
    EXPECT_EQ(Log, QStringList({"C save", "B save", "A save", "form destroy"}));
}

TEST_F(ComponentState, StateObjectsMayGoInAnyOrder) {
    QStringList Log;
    TLoggedForm Logged(Log);
    delete Logged.State("A"); // deepest in the chain
    delete Logged.State("C"); // the newest hook: the form gets B's back
    Log.clear();
    delete Logged.Form;
    EXPECT_EQ(Log, QStringList({"B save", "form destroy"}));
}

TEST_F(ComponentState, CloseRequestSavesOnlyWhenTheCloseMayGoOnAndTheFormHasAWindow) {
    QStringList Log;
    TLoggedForm Vetoed(Log, false);
    Vetoed.Form->show();
    TLoggedForm Hidden(Log);
    Log.clear();
    EXPECT_FALSE(Vetoed.Form->close());
    EXPECT_TRUE(Hidden.Form->close());
    EXPECT_TRUE(Log.isEmpty());
    Hidden.Form->show();
    EXPECT_TRUE(Hidden.Form->close());
    EXPECT_EQ(Log, QStringList({"A save", "B save", "C save"}));
    delete Vetoed.Form;
    delete Hidden.Form;
}

TEST_F(ComponentState, AFailedSaveOnDestructionIsReportedAndDestructionGoesOn) {
    std::filesystem::create_directory(Folder.File());
    static QStringList Reports;
    Reports.clear();
    const auto Old = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& Text) { Reports << Text; });
    delete TForm::Create<TTestDialog>(1);
    qInstallMessageHandler(Old);
    ASSERT_EQ(Reports.size(), 1);
    EXPECT_TRUE(Reports[0].startsWith("Unable to write to "));
}
