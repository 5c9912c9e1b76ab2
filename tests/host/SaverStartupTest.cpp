#include "host/SaverStartup.h"
#include "config/frConfigure.h"
#include "host/Application.h"
#include "host/FR_Main_Unit.h"
#include "host/StartupState.h"
#include "panel/FractalPanel.h"
#include "platform/Errors.h"
#include "tests/host/SaverTestApp.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {
constexpr int PaintTimeout = 30000; // milliseconds; generous for sanitizer builds
constexpr int IdleTimeout = 5000;

// Enough shades that a fractal, not a fill, is on show.
constexpr std::size_t FractalShades = 8;

bool Painted(const TFractalPanel& Panel) {
    const QImage Image = Panel.Snapshot();
    std::set<QRgb> Shades;
    for (int Y = 0; Y < Image.height(); Y += 2)
        for (int X = 0; X < Image.width(); X += 2)
            Shades.insert(Image.pixel(X, Y));
    return Shades.size() >= FractalShades;
}

// The desktop of the tests turned around: the scale-2 monitor first in the list, the
// primary second, so list order and primary differ.
std::vector<TMonitor> PrimarySecond() {
    std::vector<TMonitor> Qt = TMonitors::List();
    std::vector<TMonitor> Result{Qt.at(1), Qt.at(0)};
    for (int Index = 0; Index < 2; ++Index)
        Result[Index].MonitorNum = Index;
    return Result;
}

class SaverStartup : public ::testing::Test {
protected:
    void SetUp() override {
        SaverTestApp();
        TMonitors::Override(std::nullopt);
    }
    void TearDown() override {
        EndWindowedMode();
        TMonitors::Override(std::nullopt);
    }

    // The secondary windows, in creation order.
    static std::vector<TFR_Saver*> Secondaries() {
        std::vector<TFR_Saver*> Result;
        for (QWidget* Widget : QApplication::topLevelWidgets())
            if (auto* Window = qobject_cast<TFR_Saver*>(Widget); Window && Window != PrimaryWindow)
                Result.push_back(Window);
        return Result;
    }
    static void Key(QWidget* Window, const QString& Text) {
        QKeyEvent Press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, Text);
        QCoreApplication::sendEvent(Window, &Press);
    }
    static void MouseMove(QWidget* Target, QPointF At) {
        QMouseEvent Event(QEvent::MouseMove, At, Target->mapToGlobal(At), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Target, &Event);
    }
};

TEST_F(SaverStartup, OneMonitorGivesOnePrimaryWindowLinkingNothing) {
    TMonitors::Override(std::vector<TMonitor>{TMonitors::List().at(0)});
    QWidget* Main = StartSaverMode();
    ASSERT_NE(PrimaryWindow, nullptr);
    EXPECT_EQ(Main, PrimaryWindow);
    EXPECT_EQ(PrimaryWindow->windowTitle(), "Primary");
    EXPECT_TRUE(PrimaryWindow->Primary);
    EXPECT_TRUE(PrimaryWindow->isVisible());
    EXPECT_EQ(PrimaryWindow->Panel->Panels().size(), 1u);
    EXPECT_TRUE(Secondaries().empty());
    ASSERT_NE(ConfigureFrame, nullptr);
    EXPECT_FALSE(ConfigureFrame->isVisible());
    // Nothing paints before the first idle moment.
    EXPECT_FALSE(PrimaryWindow->Panel->Active());
}

TEST_F(SaverStartup, PrimaryFirstAndCaptionsCarryTheListIndexes) {
    TMonitors::Override(PrimarySecond());
    StartSaverMode();
    ASSERT_NE(PrimaryWindow, nullptr);
    EXPECT_EQ(TApplication::Instance()->MainForm(), PrimaryWindow);
    EXPECT_EQ(PrimaryWindow->Monitor()->MonitorNum, 1);
    EXPECT_EQ(PrimaryWindow->geometry(), QRect(0, 0, 160, 90));
    EXPECT_TRUE(PrimaryWindow->testAttribute(Qt::WA_QuitOnClose));
    const auto Others = Secondaries();
    ASSERT_EQ(Others.size(), 1u);
    EXPECT_EQ(Others[0]->windowTitle(), "Secondary 0");
    EXPECT_FALSE(Others[0]->Primary);
    EXPECT_FALSE(Others[0]->testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(Others[0]->geometry(), QRect(160, 0, 80, 45));
    EXPECT_EQ(Others[0]->Panel->DeviceSize(), QSize(160, 90));
    const auto& Rotation = PrimaryWindow->Panel->Panels();
    ASSERT_EQ(Rotation.size(), 2u);
    EXPECT_EQ(Rotation[0], PrimaryWindow->Panel);
    EXPECT_EQ(Rotation[1], Others[0]->Panel);
    // The settings gave both panels their frames.
    EXPECT_GT(PrimaryWindow->Panel->FrameCount(), 0);
    EXPECT_GT(Others[0]->Panel->FrameCount(), 0);
}

TEST_F(SaverStartup, OnePainterPaintsBothMonitorsInTurn) {
    TMonitors::Override(PrimarySecond());
    StartSaverMode();
    TFR_Saver* Secondary = Secondaries().at(0);
    ASSERT_TRUE(RunEventsUntil([&] { return PrimaryWindow->Panel->Active(); }, IdleTimeout));
    EXPECT_FALSE(Secondary->Panel->Active());
    EXPECT_EQ(Secondary->Panel->Painter(), nullptr);
    EXPECT_TRUE(
        RunEventsUntil([&] { return Painted(*PrimaryWindow->Panel) && Painted(*Secondary->Panel); },
                       PaintTimeout));
    // The scale-2 monitor is painted at its full resolution.
    EXPECT_EQ(Secondary->Panel->Snapshot().size(), QSize(160, 90));
}

TEST_F(SaverStartup, MouseOverTheSecondaryMonitorEndsTheSaver) {
    TMonitors::Override(PrimarySecond());
    StartSaverMode();
    TFR_Saver* Secondary = Secondaries().at(0);
    MouseMove(Secondary->Panel, {20, 20});
    EXPECT_TRUE(PrimaryWindow->MouseSeen);
    EXPECT_FALSE(Secondary->MouseSeen);
    // Measured in the receiving panel's device pixels: 40 on the scale-2 monitor.
    EXPECT_EQ(PrimaryWindow->MouseX, 40);
    MouseMove(Secondary->Panel, {24, 20});
    EXPECT_FALSE(PrimaryWindow->isVisible());
    EXPECT_TRUE(Secondary->isVisible());
}

TEST_F(SaverStartup, KeyOnASecondaryClosesOnlyThatWindowAndPaintingGoesOn) {
    TMonitors::Override(PrimarySecond());
    StartSaverMode();
    TFR_Saver* Secondary = Secondaries().at(0);
    ASSERT_TRUE(RunEventsUntil([&] { return PrimaryWindow->Panel->Active(); }, IdleTimeout));
    Key(Secondary, "x");
    EXPECT_FALSE(Secondary->isVisible());
    EXPECT_TRUE(PrimaryWindow->isVisible());
    EXPECT_TRUE(PrimaryWindow->Panel->Active());
    // The hidden window stays in the rotation and is still painted into.
    EXPECT_EQ(PrimaryWindow->Panel->Panels().size(), 2u);
    EXPECT_TRUE(RunEventsUntil([&] { return Painted(*Secondary->Panel); }, PaintTimeout));
    Key(PrimaryWindow, "x");
    EXPECT_FALSE(PrimaryWindow->isVisible());
    EXPECT_EQ(PrimaryWindow->Panel->Painter(), nullptr);
}

TEST_F(SaverStartup, NoPrimaryMonitorIsAnAssertionFailure) {
    std::vector<TMonitor> Monitors = TMonitors::List();
    for (TMonitor& Monitor : Monitors)
        Monitor.Primary = false;
    TMonitors::Override(Monitors);
    try {
        StartSaverMode();
        FAIL() << "no error";
    } catch (const EAssertionFailed& Error) {
        EXPECT_STREQ(Error.what(), "Assertion failure (Ystrelo, line 151)");
    }
    EXPECT_EQ(PrimaryWindow, nullptr);
}

TEST_F(SaverStartup, TeardownStopsThePainterFreesEverythingAndWritesTheSettings) {
    TMonitors::Override(PrimarySecond());
    const std::string File = SaverTestConfigHome() + "/Ystrelo.ini";
    std::filesystem::remove(File);
    StartSaverMode();
    ASSERT_TRUE(RunEventsUntil([&] { return PrimaryWindow->Panel->Active(); }, IdleTimeout));
    QPointer<TFractalPanel> Panel = PrimaryWindow->Panel;
    QPointer<TConfigureFrame> Dialog = ConfigureFrame;
    EndWindowedMode();
    EXPECT_TRUE(Panel.isNull());
    EXPECT_TRUE(Dialog.isNull());
    EXPECT_EQ(PrimaryWindow, nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    EXPECT_TRUE(std::filesystem::exists(File));
}

TEST_F(SaverStartup, ConfigureModeMakesTheDialogTheMainWindow) {
    QWidget* Main = StartConfigureMode();
    ASSERT_NE(ConfigureFrame, nullptr);
    EXPECT_EQ(Main, ConfigureFrame);
    EXPECT_EQ(TApplication::Instance()->MainForm(), ConfigureFrame);
    EXPECT_EQ(PrimaryWindow, nullptr);
}
} // namespace
