#include "ConfigTestSupport.h"
#include "tests/host/HostTestSupport.h"

#include "config/ComponentState.h"
#include "config/IdleControl.h"
#include "config/IniFileStore.h"
#include "config/frConfigure.h"
#include "config/frConfigureColours.h"
#include "config/frConfigureFractal.h"
#include "config/frConfigureMonitor.h"
#include "panel/FractalPanel.h"
#include "platform/Errors.h"
#include "platform/NamedMutex.h"
#include "platform/qt/ErrorReport.h"
#include "platform/qt/Monitors.h"
#include "platform/widgets/CheckBox.h"
#include "platform/widgets/PageControl.h"
#include "platform/widgets/RadioGroup.h"
#include "platform/widgets/TrackBar.h"
#include "platform/widgets/UpDown.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

const TMonitor Primary{0, QRect(0, 0, 1920, 1080), 1920, 1080, true, nullptr, {}};
const TMonitor Secondary{1, QRect(1920, 0, 1280, 1024), 1280, 1024, false, nullptr, {}};

struct TDialogDeleter {
    void operator()(TConfigureFrame* Dialog) const { delete Dialog; }
};
using TDialogPtr = std::unique_ptr<TConfigureFrame, TDialogDeleter>;

class ConfigureDialog : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        UseMonitors({Primary});
    }
    void TearDown() override {
        TMonitors::Override(std::nullopt);
        TErrorReport::SetHandler(nullptr);
    }

    static void UseMonitors(std::vector<TMonitor> Monitors) { TMonitors::Override(Monitors); }
    static TDialogPtr Open() { return TDialogPtr(TForm::Create<TConfigureFrame>()); }

    // A panel of a known size, never shown, for the pages to hand their settings to.
    static std::unique_ptr<TFractalPanel> MakePanel() {
        auto Panel = std::make_unique<TFractalPanel>();
        Panel->resize(PanelWidth, PanelHeight);
        return Panel;
    }
    static std::vector<QRect> Rects(const TFractalPanel& Panel) {
        std::vector<QRect> Result;
        for (const auto& Frame : Panel.Frames())
            Result.emplace_back(Frame->Left, Frame->Top, Frame->Width, Frame->Height);
        return Result;
    }
    static QStringList Tabs(const TConfigureFrame& Dialog) {
        QStringList Result;
        for (int I = 0; I < Dialog.pcFrames->count(); ++I)
            Result << Dialog.pcFrames->tabText(I);
        return Result;
    }

    static constexpr int PanelWidth = 400;
    static constexpr int PanelHeight = 300;
    TProfileFolder Folder;
};

TEST_F(ConfigureDialog, OneMonitorShowsThreeTabsAndHidesCustom) {
    auto Dialog = Open();
    EXPECT_EQ(Tabs(*Dialog), QStringList({"Colour", "Fractal", "Frames"}));
    ASSERT_EQ(Dialog->MonitorPages.size(), 1u);
    EXPECT_EQ(Dialog->MonitorPage->objectName(), "ConfigureMonitorFrame0");
    EXPECT_EQ(Dialog->MonitorPage->csMonitorFrame->Section(), "Monitor-0");
    EXPECT_TRUE(Dialog->MonitorPage->ckCustom->isHidden());
    EXPECT_EQ(Dialog->pcFrames->ActivePage(), Dialog->tsColour);
}

TEST_F(ConfigureDialog, EveryMonitorGetsAPageCaptionedWithItsSize) {
    UseMonitors({Primary, Secondary});
    {
        auto Dialog = Open();
        EXPECT_EQ(Tabs(*Dialog), QStringList({"Colour", "Fractal", "Monitor 0 (1920 x 1080)",
                                              "Monitor 1 (1280 x 1024)"}));
        ASSERT_EQ(Dialog->MonitorPages.size(), 2u);
        auto* Second = Dialog->MonitorPages[1];
        EXPECT_EQ(Second->objectName(), "ConfigureMonitorFrame1");
        EXPECT_EQ(Second->csMonitorFrame->Section(), "Monitor-1");
        EXPECT_FALSE(Second->ckCustom->isHidden());
        EXPECT_TRUE(Dialog->MonitorPage->ckCustom->isHidden());
    }
    // The primary listed second: its page stays the third tab and carries its own number.
    UseMonitors({TMonitor{0, QRect(0, 0, 1280, 1024), 1280, 1024, false, nullptr, {}},
                 TMonitor{1, QRect(1280, 0, 1920, 1080), 1920, 1080, true, nullptr, {}}});
    auto Dialog = Open();
    EXPECT_EQ(Tabs(*Dialog), QStringList({"Colour", "Fractal", "Monitor 1 (1920 x 1080)",
                                          "Monitor 0 (1280 x 1024)"}));
    EXPECT_EQ(Dialog->MonitorPage->objectName(), "ConfigureMonitorFrame1");
    EXPECT_EQ(Dialog->MonitorPages[1]->objectName(), "ConfigureMonitorFrame0");
    EXPECT_EQ(Dialog->MonitorPages[1]->csMonitorFrame->Section(), "Monitor-0");
}

TEST_F(ConfigureDialog, AlwaysOpensOnTheColourTab) {
    {
        auto Dialog = Open();
        Dialog->show();
        Dialog->pcFrames->SetActivePage(Dialog->tsFrames);
        Dialog->close();
    }
    auto Dialog = Open();
    EXPECT_EQ(Dialog->pcFrames->ActivePage(), Dialog->tsColour);
}

TEST_F(ConfigureDialog, DefaultsReachThePanel) {
    auto Dialog = Open();
    auto Panel = MakePanel();
    Dialog->ApplyToPanel(*Panel, Primary);
    using C = TConfigureColoursFrame;
    EXPECT_EQ(Panel->BaseColours(), (std::vector<TColour>{C::Magenta, C::Aqua, C::Yellow}));
    EXPECT_TRUE(Panel->FadeFromBlack());
    EXPECT_EQ(Panel->Bands(), 32);
    EXPECT_EQ(Panel->InitialStep(), 64);
    EXPECT_EQ(Panel->MaxAge(), 10000);
    EXPECT_EQ(Panel->DistanceLimit(), 10000.0L);
    EXPECT_TRUE(Panel->HighlightCalculations());
    EXPECT_FALSE(Panel->ShowZoomFrame());
    EXPECT_EQ(Rects(*Panel), std::vector<QRect>{QRect(0, 0, PanelWidth, PanelHeight)});
    // The labels wait for their track bar's first move.
    EXPECT_EQ(Dialog->ColoursPage->lBandCount->text(), "#");
    EXPECT_EQ(Dialog->FractalPage->lOptimizationLevel->text(), "#");
}

TEST_F(ConfigureDialog, ColoursGoInPaletteOrderAndNoneMeansWhite) {
    auto Dialog = Open();
    auto* Page = Dialog->ColoursPage;
    auto Panel = MakePanel();
    for (auto* Box : {Page->ckYellow, Page->ckWhite, Page->ckBlue, Page->ckRed, Page->ckGreen})
        Box->SetChecked(true);
    Dialog->ApplyToPanel(*Panel, Primary);
    using C = TConfigureColoursFrame;
    EXPECT_EQ(Panel->BaseColours(), (std::vector<TColour>{C::Red, C::Green, C::Blue, C::White,
                                                          C::Magenta, C::Aqua, C::Yellow}));
    for (auto* Box : {Page->ckWhite, Page->ckRed, Page->ckGreen, Page->ckBlue, Page->ckMagenta,
                      Page->ckAqua, Page->ckYellow})
        Box->SetChecked(false);
    Dialog->ApplyToPanel(*Panel, Primary);
    EXPECT_EQ(Panel->BaseColours(), std::vector<TColour>{C::White});
}

TEST_F(ConfigureDialog, FractalPageConvertsItsChoices) {
    auto Dialog = Open();
    auto* Page = Dialog->FractalPage;
    auto Panel = MakePanel();
    Page->tbOptimization->SetPosition(1);
    Page->rgMaxAge->SetItemIndex(1);
    Page->rgDistanceLimit->SetItemIndex(-1);
    Page->ckHighlightCalculations->SetChecked(false);
    Dialog->ApplyToPanel(*Panel, Primary);
    EXPECT_EQ(Panel->InitialStep(), 2);
    EXPECT_EQ(Panel->MaxAge(), 500);
    EXPECT_EQ(Panel->DistanceLimit(), 2.0L);
    EXPECT_FALSE(Panel->HighlightCalculations());
    Page->rgMaxAge->SetItemIndex(-1);
    Page->tbOptimization->SetPosition(8);
    Dialog->ApplyToPanel(*Panel, Primary);
    EXPECT_EQ(Panel->MaxAge(), 100);
    EXPECT_EQ(Panel->InitialStep(), 256);
    // Moved and moved back: the label shows the level, not "#".
    Page->tbOptimization->SetPosition(TConfigureFractalFrame::DefaultLevel);
    EXPECT_EQ(Page->lOptimizationLevel->text(), "6");
}

TEST_F(ConfigureDialog, FrameLayoutsComeInTheirFixedOrder) {
    auto Dialog = Open();
    auto* Page = Dialog->MonitorPage;
    auto Panel = MakePanel();
    auto Spiral = MakePanel();
    Spiral->AddSpiral(4, 3);
    auto Scan = MakePanel();
    Scan->AddScan(4, 3);

    Page->ckScan->SetChecked(true);
    Page->ckSpiral->SetChecked(true);
    Dialog->ApplyToPanel(*Panel, Primary);
    auto Expected = Rects(*Spiral);
    for (const QRect& R : Rects(*Scan))
        Expected.push_back(R);
    EXPECT_EQ(Rects(*Panel).size(), 24u);
    EXPECT_EQ(Rects(*Panel), Expected);

    Page->ckScan->SetChecked(false);
    Page->ckSpiral->SetChecked(false);
    Page->ckNoFrame->SetChecked(true);
    Page->ckBorder->SetChecked(true);
    Dialog->ApplyToPanel(*Panel, Primary);
    auto Border = MakePanel();
    Border->AddEdges(4, 3, EdgesBorder);
    Expected = {QRect(0, 0, PanelWidth, PanelHeight)};
    for (const QRect& R : Rects(*Border))
        Expected.push_back(R);
    EXPECT_EQ(Rects(*Panel), Expected);

    // A monitor without a page keeps the panel's layout.
    Page->ckNoFrame->SetChecked(false);
    Dialog->ApplyToPanel(*Panel, Secondary);
    EXPECT_EQ(Rects(*Panel), Expected);
}

const char* const HandWritten = "[TWinControlForm]\n"
                                "ckRed.Checked=True\n"
                                "ckMagenta.Checked=False\n"
                                "tbBands.Position=50\n"
                                "tbOptimization.Position=3\n"
                                "rgMaxAge.ItemIndex=2\n"
                                "ckZoomFrame.Checked=True\n"
                                "[Monitor-0]\n"
                                "ckScan.Checked=True\n"
                                "spWide.Position=2\n"
                                "spHigh.Position=5\n"
                                "[Monitor-1]\n"
                                "ckCustom.Checked=True\n"
                                "ckSpiral.Checked=True\n";

const char* const SavedAfterHandWritten = "[TWinControlForm]\n"
                                          "ckRed.Checked=True\n"
                                          "ckMagenta.Checked=False\n"
                                          "tbBands.Position=50\n"
                                          "tbOptimization.Position=3\n"
                                          "rgMaxAge.ItemIndex=2\n"
                                          "ckZoomFrame.Checked=True\n"
                                          "ckAqua.Checked=True\n"
                                          "ckBlue.Checked=False\n"
                                          "ckGreen.Checked=False\n"
                                          "ckUseBlack.Checked=True\n"
                                          "ckWhite.Checked=False\n"
                                          "ckYellow.Checked=True\n"
                                          "ckHighlightCalculations.Checked=True\n"
                                          "rgDistanceLimit.ItemIndex=4\n"
                                          "[Monitor-0]\n"
                                          "ckScan.Checked=True\n"
                                          "spWide.Position=2\n"
                                          "spHigh.Position=5\n"
                                          "ckBorder.Checked=False\n"
                                          "ckBottomRow.Checked=False\n"
                                          "ckCustom.Checked=False\n"
                                          "ckLeftColumn.Checked=False\n"
                                          "ckLetterbox.Checked=False\n"
                                          "ckNoFrame.Checked=False\n"
                                          "ckPillar.Checked=False\n"
                                          "ckRightColumn.Checked=False\n"
                                          "ckSpiral.Checked=False\n"
                                          "ckTopRow.Checked=False\n"
                                          "[Monitor-1]\n"
                                          "ckCustom.Checked=True\n"
                                          "ckSpiral.Checked=True\n"
                                          "ckBorder.Checked=False\n"
                                          "ckBottomRow.Checked=False\n"
                                          "ckLeftColumn.Checked=False\n"
                                          "ckLetterbox.Checked=False\n"
                                          "ckNoFrame.Checked=False\n"
                                          "ckPillar.Checked=False\n"
                                          "ckRightColumn.Checked=False\n"
                                          "ckScan.Checked=False\n"
                                          "ckTopRow.Checked=False\n"
                                          "spHigh.Position=3\n"
                                          "spWide.Position=4\n";

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> Result;
    std::istringstream In(Text);
    for (std::string Line; std::getline(In, Line);)
        Result.push_back(Line);
    return Result;
}

TEST_F(ConfigureDialog, RestoresAHandWrittenFileAndSavesEveryValue) {
    UseMonitors({Primary, Secondary});
    WriteText(Folder.File(), HandWritten);
    auto Dialog = Open();
    auto* Colours = Dialog->ColoursPage;
    EXPECT_TRUE(Colours->ckRed->Checked());
    EXPECT_FALSE(Colours->ckMagenta->Checked());
    EXPECT_EQ(Colours->lBandCount->text(), "50");
    EXPECT_EQ(Dialog->FractalPage->lOptimizationLevel->text(), "3");
    EXPECT_EQ(Dialog->MonitorPage->eWide->text(), "2");
    auto* Second = Dialog->MonitorPages[1];
    EXPECT_TRUE(Second->ckSpiral->isEnabled());

    auto Panel = MakePanel();
    Dialog->ApplyToPanel(*Panel, Primary);
    EXPECT_EQ(Panel->MaxAge(), 1000);
    EXPECT_EQ(Panel->InitialStep(), 8);
    EXPECT_TRUE(Panel->ShowZoomFrame());
    EXPECT_EQ(Panel->FrameCount(), 10);

    Dialog->SaveSettings();
    EXPECT_EQ(Lines(ReadText(Folder.File())), Lines(SavedAfterHandWritten));
}

TEST_F(ConfigureDialog, ClosingRewritesTheSameValues) {
    UseMonitors({Primary, Secondary});
    WriteText(Folder.File(), SavedAfterHandWritten);
    {
        auto Dialog = Open();
        Dialog->show();
        ASSERT_TRUE(Dialog->PreviewPanel);
        EXPECT_EQ(Dialog->PreviewPanel->objectName(), "FoPanel");
        EXPECT_TRUE(Dialog->PreviewPanel->Active());
        Dialog->close();
        EXPECT_FALSE(Dialog->PreviewPanel);
        EXPECT_FALSE(Dialog->PB_OK->isEnabled());
        EXPECT_EQ(ReadText(Folder.File()), SavedAfterHandWritten);
    }
    EXPECT_EQ(ReadText(Folder.File()), SavedAfterHandWritten);
}

TEST_F(ConfigureDialog, PreviewShowsTheLayoutOfTheMonitorBeingEdited) {
    UseMonitors({Primary, Secondary});
    auto Dialog = Open();
    Dialog->show();
    auto* Preview = Dialog->PreviewPanel.data();
    ASSERT_TRUE(Preview);
    EXPECT_EQ(Preview->size(), QSize(264, 194));
    auto* Second = Dialog->MonitorPages[1];
    // Not custom: the secondary monitor shows the primary's layout, and says so.
    EXPECT_FALSE(Second->ckScan->isEnabled());
    Second->ckScan->SetChecked(true);
    EXPECT_EQ(Preview->FrameCount(), 1);

    Second->ckCustom->SetChecked(true);
    EXPECT_TRUE(Second->ckScan->isEnabled());
    EXPECT_EQ(Preview->FrameCount(), 12);
    Dialog->ColoursPage->ckRed->SetChecked(true);
    EXPECT_EQ(Preview->FrameCount(), 1);
    EXPECT_EQ(Preview->BaseColours().front(), TConfigureColoursFrame::Red);
    Second->spWide->SetPosition(2);
    EXPECT_EQ(Preview->FrameCount(), 6);
    Dialog->close();
}

TEST_F(ConfigureDialog, CustomDecidesWhichLayoutASecondaryMonitorShows) {
    UseMonitors({Primary, Secondary});
    auto Dialog = Open();
    Dialog->MonitorPage->ckNoFrame->SetChecked(true);
    Dialog->MonitorPage->ckScan->SetChecked(true);
    auto* Second = Dialog->MonitorPages[1];
    Second->ckSpiral->SetChecked(true);
    auto Panel = MakePanel();
    Dialog->ApplyToPanel(*Panel, Secondary);
    EXPECT_EQ(Panel->FrameCount(), 13);
    Second->ckCustom->SetChecked(true);
    Dialog->ApplyToPanel(*Panel, Secondary);
    EXPECT_EQ(Panel->FrameCount(), 12);
    // The primary's page never offers it, whatever a file says.
    Dialog->MonitorPage->ckCustom->SetChecked(true);
    EXPECT_TRUE(Dialog->MonitorPage->ckScan->isEnabled());
}

TEST_F(ConfigureDialog, ZoomFrameSwitchesThePaintersOutline) {
    auto Dialog = Open();
    auto Panel = MakePanel();
    TPainter<TMandelPaint> Painter;
    Dialog->ColoursPage->ckZoomFrame->SetChecked(true);
    Dialog->ApplyToPanel(*Panel, Primary);
    Panel->ApplySettings(Painter);
    EXPECT_TRUE(Painter.ShowZoomFrame);
    Dialog->ColoursPage->ckZoomFrame->SetChecked(false);
    Dialog->ApplyToPanel(*Panel, Primary);
    Panel->ApplySettings(Painter);
    EXPECT_FALSE(Painter.ShowZoomFrame);
}

TEST_F(ConfigureDialog, AFirstSaveWithoutDeepZoomIsTheFileOfOld) {
    Open()->SaveSettings();
    EXPECT_EQ(ReadText(Folder.File()), "[TWinControlForm]\n"
                                       "ckAqua.Checked=True\n"
                                       "ckBlue.Checked=False\n"
                                       "ckGreen.Checked=False\n"
                                       "ckMagenta.Checked=True\n"
                                       "ckRed.Checked=False\n"
                                       "ckUseBlack.Checked=True\n"
                                       "ckWhite.Checked=False\n"
                                       "ckYellow.Checked=True\n"
                                       "ckZoomFrame.Checked=False\n"
                                       "tbBands.Position=32\n"
                                       "ckHighlightCalculations.Checked=True\n"
                                       "rgDistanceLimit.ItemIndex=4\n"
                                       "rgMaxAge.ItemIndex=4\n"
                                       "tbOptimization.Position=6\n"
                                       "[Monitor-0]\n"
                                       "ckBorder.Checked=False\n"
                                       "ckBottomRow.Checked=False\n"
                                       "ckCustom.Checked=False\n"
                                       "ckLeftColumn.Checked=False\n"
                                       "ckLetterbox.Checked=False\n"
                                       "ckNoFrame.Checked=False\n"
                                       "ckPillar.Checked=False\n"
                                       "ckRightColumn.Checked=False\n"
                                       "ckScan.Checked=False\n"
                                       "ckSpiral.Checked=False\n"
                                       "ckTopRow.Checked=False\n"
                                       "spHigh.Position=3\n"
                                       "spWide.Position=4\n");
}

TEST_F(ConfigureDialog, DeepZoomIsSavedOnceTickedAndReadBack) {
    const auto DeepLine = [&] {
        const std::string Text = ReadText(Folder.File());
        const auto At = Text.find("ckDeepZoom.Checked=");
        return At == std::string::npos ? std::string() : Text.substr(At, Text.find('\n', At) - At);
    };
    auto Panel = MakePanel();
    for (const bool Ticked : {true, false}) {
        {
            auto Dialog = Open();
            EXPECT_EQ(Dialog->FractalPage->ckDeepZoom->Checked(), !Ticked);
            Dialog->FractalPage->ckDeepZoom->SetChecked(Ticked);
            Dialog->SaveSettings();
        }
        // Once in the file, the key stays and follows the box.
        EXPECT_EQ(DeepLine(), Ticked ? "ckDeepZoom.Checked=True" : "ckDeepZoom.Checked=False");
        auto Dialog = Open();
        EXPECT_EQ(Dialog->FractalPage->ckDeepZoom->Checked(), Ticked);
        Dialog->ApplyToPanel(*Panel, Primary);
        EXPECT_EQ(Panel->DeepZoom(), Ticked);
        TPainter<TMandelPaint> Painter;
        Panel->ApplySettings(Painter);
        EXPECT_EQ(Painter.DeepZoom, Ticked);
    }
}

TEST_F(ConfigureDialog, OneCloseAndOneTeardownWriteTheFileOnceEach) {
    UseMonitors({Primary, Secondary});
    TReplaceWatch Watch(Folder.Path);
    Open().reset(); // the saver's hidden dialog, on a first run
    EXPECT_EQ(Watch.Count(), 1);
    auto Dialog = Open();
    Dialog->show();
    Dialog->ColoursPage->ckRed->SetChecked(true);
    Dialog->close();
    EXPECT_EQ(Watch.Count(), 1);
    EXPECT_NE(ReadText(Folder.File()).find("ckRed.Checked=True"), std::string::npos);
    // The same values again change nothing and write nothing.
    Dialog->show();
    Dialog->close();
    Dialog.reset();
    EXPECT_EQ(Watch.Count(), 0);
}

class ConfigureDialogReports : public ConfigureDialog {
protected:
    void SetUp() override {
        ConfigureDialog::SetUp();
        TErrorReport::SetHandler([this](const std::exception& Error) { Reports << Error.what(); });
    }
    bool Has(const std::string& Text) const {
        return ReadText(Folder.File()).find(Text) != std::string::npos;
    }
    void ExpectReports(qsizetype Count) const {
        EXPECT_EQ(Reports.size(), Count) << Reports.join('\n').toStdString();
        for (const QString& Report : Reports)
            EXPECT_TRUE(Report.startsWith("Unable to write to ")) << Report.toStdString();
    }

    QStringList Reports;
};

TEST_F(ConfigureDialogReports, AFailingPageIsReportedOnceAndTheOthersAreSaved) {
    auto Dialog = Open();
    Dialog->FractalPage->State()->SetSection("Bad]"); // no file can hold this section
    Dialog->show();
    Dialog->ColoursPage->ckWhite->SetChecked(true);
    Dialog->MonitorPage->ckLetterbox->SetChecked(true);
    Dialog->close();
    ExpectReports(1);
    EXPECT_TRUE(Dialog->isHidden());
    EXPECT_FALSE(Dialog->PreviewPanel);
    EXPECT_TRUE(Has("ckWhite.Checked=True"));
    EXPECT_TRUE(Has("ckLetterbox.Checked=True"));
    EXPECT_FALSE(Has("rgMaxAge"));
    // What the close could not save, the teardown saves.
    Dialog->FractalPage->State()->SetSection("TWinControlForm");
    Dialog.reset();
    ExpectReports(1);
    EXPECT_TRUE(Has("rgMaxAge.ItemIndex=4"));
}

TEST_F(ConfigureDialogReports, AFileThatCannotBeWrittenIsReportedOncePerCloseAndTeardown) {
    std::filesystem::create_directory(Folder.File());
    Open().reset(); // the saver's teardown
    ExpectReports(1);
    auto Dialog = Open();
    Dialog->show();
    Dialog->ColoursPage->ckWhite->SetChecked(true);
    Dialog->close();
    ExpectReports(2);
    EXPECT_TRUE(Dialog->isHidden());
    EXPECT_TRUE(Dialog->ColoursPage->ckWhite->Checked());
    // The teardown does not try the same save again, which would report it twice.
    std::filesystem::remove(Folder.File());
    Dialog.reset();
    ExpectReports(2);
    EXPECT_FALSE(std::filesystem::exists(Folder.File()));
}

TEST_F(ConfigureDialogReports, AReadOnlyStoreRestoresButNeverWrites) {
    WriteText(Folder.File(), HandWritten);
    const auto Written = std::filesystem::last_write_time(Folder.File());
    auto Dialog = Open();
    Dialog->fsConfiguration->SetReadOnly(true);
    EXPECT_TRUE(Dialog->ColoursPage->ckRed->Checked());
    Dialog->ColoursPage->ckBlue->SetChecked(true);
    Dialog.reset();
    EXPECT_EQ(ReadText(Folder.File()), HandWritten);
    EXPECT_EQ(std::filesystem::last_write_time(Folder.File()), Written);
    EXPECT_EQ(FolderEntries(Folder.Path), std::vector<std::string>{"Ystrelo.ini"});

    // Without a file or even its folder, none is created.
    const auto Absent = Folder.Path + "/absent";
    ::setenv("XDG_CONFIG_HOME", Absent.c_str(), 1);
    Dialog = Open();
    Dialog->fsConfiguration->SetReadOnly(true);
    Dialog->ColoursPage->ckBlue->SetChecked(true);
    Dialog.reset();
    EXPECT_FALSE(std::filesystem::exists(Absent));
    ExpectReports(0);
}

TEST_F(ConfigureDialog, OnlyAFramesPageMayReportAMonitorChange) {
    auto Dialog = Open();
    EXPECT_THROW(Dialog->MonitorChanged(Dialog->ColoursPage), EYstreloError);
    EXPECT_NO_THROW(Dialog->MonitorChanged(Dialog->MonitorPage));
}

TEST_F(ConfigureDialog, CloseIsTheDefaultButtonAndShowsTheHourglass) {
    auto Dialog = Open();
    Dialog->show();
    EXPECT_TRUE(Dialog->PB_OK->isDefault());
    Dialog->PB_OK->click();
    EXPECT_TRUE(Dialog->isHidden());
    EXPECT_FALSE(Dialog->PB_OK->isEnabled());
    EXPECT_EQ(Dialog->cursor().shape(), Qt::WaitCursor);
    // Shown again, it is usable again.
    Dialog->show();
    EXPECT_TRUE(Dialog->PB_OK->isEnabled());
    EXPECT_TRUE(Dialog->PreviewPanel);
}

TEST_F(ConfigureDialog, EveryCaptionFitsItsControl) {
    UseMonitors({Primary, Secondary});
    auto Dialog = Open();
    for (auto* Page : std::initializer_list<QWidget*>{Dialog->ColoursPage, Dialog->FractalPage,
                                                      Dialog->MonitorPages[1]}) {
        for (auto* Control : Page->findChildren<QWidget*>()) {
            if (!qobject_cast<QCheckBox*>(Control) && !qobject_cast<QLabel*>(Control) &&
                !qobject_cast<TRadioGroup*>(Control))
                continue;
            EXPECT_GE(Control->width(), Control->sizeHint().width())
                << qPrintable(Control->objectName());
            EXPECT_GE(Control->height(), Control->sizeHint().height())
                << qPrintable(Control->objectName());
        }
        EXPECT_LE(Page->minimumWidth(), Dialog->pcFrames->width());
    }
    EXPECT_GE(Dialog->PB_OK->width(), Dialog->PB_OK->sizeHint().width());
}

// A stand-in for the watcher: it holds the idle guard as the watcher does, notes how it
// was started, and ends on SIGTERM.
constexpr const char* StubWatcher = R"(#!/bin/sh
exec 9>>"$XDG_RUNTIME_DIR/Ystrelo-idle"
flock -n 9 || exit 0
printf '%s ' "$@" >"$XDG_RUNTIME_DIR/arguments"
printf %s $$ >"$XDG_RUNTIME_DIR/Ystrelo-idle"
exec sleep 600
)";

class ConfigureDialogIdle : public ConfigureDialog {
protected:
    void SetUp() override {
        ConfigureDialog::SetUp();
        std::string Pattern =
            (std::filesystem::temp_directory_path() / "ystrelo-run-XXXXXX").string();
        Runtime = ::mkdtemp(Pattern.data());
        if (const char* Old = std::getenv("XDG_RUNTIME_DIR"))
            OldRuntime = Old;
        ::setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
        WriteText(Runtime + "/watcher", StubWatcher);
        std::filesystem::permissions(Runtime + "/watcher", std::filesystem::perms::owner_all);
        Open().reset();
        FirstRun = ReadText(Folder.File());
    }
    void TearDown() override {
        if (const auto Pid = Watcher()) {
            ::kill(*Pid, SIGTERM);
            EXPECT_TRUE(QTest::qWaitFor([] { return !Watcher(); }));
        }
        if (OldRuntime)
            ::setenv("XDG_RUNTIME_DIR", OldRuntime->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(Runtime);
        ConfigureDialog::TearDown();
    }

    static std::optional<pid_t> Watcher() { return TNamedMutex::Owner(IdleMutexName); }
    TDialogPtr Show() const {
        auto Dialog = Open();
        Dialog->IdleControl->SetProgram(QString::fromStdString(Runtime + "/watcher"));
        Dialog->show();
        return Dialog;
    }
    std::string Arguments() const { return ReadText(Runtime + "/arguments"); }
    std::string Entry() const { return Folder.File("autostart/ystrelo-idle.desktop"); }

    std::string Runtime;
    std::optional<std::string> OldRuntime;
    // What a first run writes; starting on idle is none of the file's business.
    std::string FirstRun;
};

TEST_F(ConfigureDialogIdle, TickingWritesTheAutostartEntryAndStartsTheWatcher) {
    auto Dialog = Show();
    EXPECT_FALSE(Dialog->ckIdleStart->Checked());
    EXPECT_FALSE(Dialog->spIdleMinutes->isEnabled());
    EXPECT_EQ(Dialog->eIdleMinutes->text(), QString::number(IdleMinutesDefault));
    EXPECT_EQ(Dialog->lIdleWatcher->text(), "Not running");
    Dialog->ckIdleStart->SetChecked(true);
    Dialog->spIdleMinutes->SetPosition(25);
    Dialog->PB_OK->click();
    EXPECT_NE(ReadText(Entry()).find("\nExec=" + Runtime + "/watcher --idle 25\n"),
              std::string::npos);
    ASSERT_TRUE(QTest::qWaitFor([] { return Watcher().has_value(); }));
    EXPECT_EQ(Arguments(), "--idle 25 ");
    EXPECT_EQ(ReadText(Folder.File()), FirstRun);
}

TEST_F(ConfigureDialogIdle, AnEntryTheDesktopSwitchedOffShowsUntickedAndStaysSoUntilTicked) {
    const std::string On =
        TIdleControl::EntryText(QString::fromStdString(Runtime + "/watcher"), 25);
    std::string Gnome = On;
    Gnome.replace(Gnome.find("enabled=true"), 12, "enabled=false");
    std::filesystem::create_directory(Folder.File("autostart"));
    // As Xfce and LXQt switch it off, and as GNOME's older tools do.
    for (const std::string& Off : {On + "Hidden=true\n", Gnome}) {
        WriteText(Entry(), Off);
        auto Dialog = Show();
        EXPECT_FALSE(Dialog->ckIdleStart->Checked());
        Dialog->close();
        EXPECT_EQ(ReadText(Entry()), Off);
    }
    auto Dialog = Show();
    Dialog->ckIdleStart->SetChecked(true);
    Dialog->close();
    EXPECT_EQ(ReadText(Entry()), On);
    EXPECT_TRUE(QTest::qWaitFor([] { return Watcher().has_value(); }));
}

TEST_F(ConfigureDialogIdle, AnEntryThatCannotBeWrittenIsShownOverTheDialogAndTheSettingsSaved) {
    // Where the autostart folder belongs, a file.
    WriteText(Folder.File("autostart"), "");
    TDialogPtr Dialog;
    std::vector<std::pair<std::string, bool>> Reports; // and whether the dialog was up
    TErrorReport::SetHandler([&](const std::exception& Error) {
        Reports.emplace_back(Error.what(), Dialog->isVisible());
    });
    Dialog = Show();
    Dialog->ckIdleStart->SetChecked(true);
    Dialog->ColoursPage->ckWhite->SetChecked(true);
    Dialog->close();
    ASSERT_EQ(Reports.size(), 1u);
    EXPECT_EQ(Reports[0].first, "Unable to write to " + Entry() + ": Not a directory");
    // Reported while the dialog is on screen: the application shows it in a box then.
    EXPECT_TRUE(Reports[0].second);
    EXPECT_TRUE(Dialog->isHidden());
    EXPECT_NE(ReadText(Folder.File()).find("ckWhite.Checked=True"), std::string::npos);
}

TEST_F(ConfigureDialogIdle, ShowsWhatItFoundAndRestartsOrEndsTheWatcher) {
    auto Dialog = Show();
    Dialog->ckIdleStart->SetChecked(true);
    Dialog->close();
    ASSERT_TRUE(QTest::qWaitFor([] { return Watcher().has_value(); }));
    const pid_t First = *Watcher();

    Dialog->show();
    EXPECT_TRUE(Dialog->ckIdleStart->Checked());
    EXPECT_EQ(Dialog->lIdleWatcher->text(), "Running now");
    Dialog->spIdleMinutes->SetPosition(30);
    Dialog->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Watcher().value_or(First) != First; }));
    EXPECT_EQ(Arguments(), "--idle 30 ");

    Dialog->show();
    EXPECT_EQ(Dialog->spIdleMinutes->Position(), 30);
    Dialog->ckIdleStart->SetChecked(false);
    Dialog->close();
    EXPECT_FALSE(std::filesystem::exists(Entry()));
    EXPECT_TRUE(QTest::qWaitFor([] { return !Watcher(); }));
    EXPECT_EQ(ReadText(Folder.File()), FirstRun);
}

// Sets a variable for as long as it lives, or unsets it (Value none).
class TVariable {
public:
    TVariable(const char* Name, std::optional<std::string> Value) : FName(Name) {
        if (const char* Old = std::getenv(Name))
            FOld = Old;
        if (Value)
            ::setenv(Name, Value->c_str(), 1);
        else
            ::unsetenv(Name);
    }
    ~TVariable() {
        if (FOld)
            ::setenv(FName, FOld->c_str(), 1);
        else
            ::unsetenv(FName);
    }

private:
    const char* FName;
    std::optional<std::string> FOld;
};

TEST_F(ConfigureDialogIdle, SaysWhereTheDesktopTurnsTheScreenDarkBeforeTheSaverWouldStart) {
    TXvfb Xvfb;
    ASSERT_TRUE(Xvfb.Started());
    RunCommand(Xvfb.Display(), "xset s 180");
    std::filesystem::create_directories(Folder.Path + "/glib-2.0/settings");
    // GNOME's through GSettings' key file back-end, which gsettings reads as it reads dconf.
    WriteText(Folder.File("glib-2.0/settings/keyfile"),
              "[org/gnome/desktop/session]\nidle-delay=uint32 300\n");
    WriteText(Folder.File("powerdevilrc"), "[AC][Display]\nTurnOffDisplayIdleTimeoutSec=240\n");
    WriteText(Folder.File("powermanagementprofilesrc"), "[AC][DPMSControl]\nidleTime=420\n");
    const TVariable Backend("GSETTINGS_BACKEND", "keyfile");
    const TVariable Wayland("WAYLAND_DISPLAY", std::nullopt);
    const TVariable Display("DISPLAY", Xvfb.Display());
    struct TCase {
        std::optional<std::string> Desktop, Plasma;
        int Minutes;
        const char* Setting;
    };
    for (const TCase& Case : {TCase{"GNOME", std::nullopt, 5, "Screen Blank in Settings, Power"},
                              TCase{"KDE", "6", 4, "Turn off screen"},
                              TCase{"KDE", "5", 7, "Screen Energy Saving"},
                              TCase{std::nullopt, std::nullopt, 3, "xset s"}}) {
        SCOPED_TRACE(Case.Setting);
        const TVariable Desktop("XDG_CURRENT_DESKTOP", Case.Desktop);
        const TVariable Plasma("KDE_SESSION_VERSION", Case.Plasma);
        auto Dialog = Show();
        // Only while the saver starts on idle, no sooner than the screen goes dark.
        Dialog->ckIdleStart->SetChecked(true);
        Dialog->spIdleMinutes->SetPosition(Case.Minutes);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Dialog->lScreenBlank->isVisible(); }));
        const QString Line = Dialog->lScreenBlank->text();
        EXPECT_TRUE(Line.contains(QString(" %1 min,").arg(Case.Minutes))) << Line.toStdString();
        EXPECT_TRUE(Line.contains(Case.Setting)) << Line.toStdString();
        Dialog->spIdleMinutes->SetPosition(Case.Minutes - 1);
        EXPECT_FALSE(Dialog->lScreenBlank->isVisible());
        Dialog->spIdleMinutes->SetPosition(Case.Minutes);
        Dialog->ckIdleStart->SetChecked(false);
        EXPECT_FALSE(Dialog->lScreenBlank->isVisible());
    }
}

} // namespace
