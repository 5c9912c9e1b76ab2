#include "host/FR_Main_Unit.h"
#include "host/StartupState.h"
#include "panel/FractalPanel.h"
#include "tests/host/SaverTestApp.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
constexpr int IdleTimeout = 5000; // milliseconds

class SaverWindow : public ::testing::Test {
protected:
    void SetUp() override {
        SaverTestApp();
        ConfigureFrame = nullptr; // no dialog: the idle start-up applies nothing
        FWindow.reset(TForm::Create<TFR_Saver>());
    }
    void TearDown() override { FWindow.reset(); }

    TFR_Saver& Window() { return *FWindow; }
    TFR_Saver& Shown() {
        Window().show();
        return Window();
    }
    void Move(int X, int Y) { Window().FormMouseMove(&Window(), Qt::NoModifier, X, Y); }
    void Key(Qt::Key Code, const QString& Text) {
        QKeyEvent Press(QEvent::KeyPress, Code, Qt::NoModifier, Text);
        QCoreApplication::sendEvent(&Window(), &Press);
    }

private:
    std::unique_ptr<TFR_Saver> FWindow;
};

TEST_F(SaverWindow, CreationGivesABlackPanelWithTheFirstColoursAndNoCursor) {
    TFR_Saver& W = Window();
    ASSERT_NE(W.Panel, nullptr);
    EXPECT_EQ(W.Panel->parentWidget(), &W);
    EXPECT_EQ(W.Panel->Background(), clBlack);
    EXPECT_EQ(W.Panel->BaseColours(),
              std::vector<TColour>(TFR_Saver::StartColours.begin(), TFR_Saver::StartColours.end()));
    EXPECT_TRUE(W.Panel->FadeFromBlack());
    EXPECT_EQ(W.Panel->Bands(), 16);
    EXPECT_EQ(W.Panel->cursor().shape(), Qt::BlankCursor);
    EXPECT_TRUE(W.StartupPending);
    EXPECT_FALSE(W.Primary);
    EXPECT_EQ(W.Monitor(), nullptr);
    EXPECT_TRUE(W.windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(SaverWindow, SetMonitorPlacesTheWindowAndThePanelFillsIt) {
    const TMonitor Right = TMonitors::List().at(1);
    Window().SetMonitor(Right);
    ASSERT_NE(Window().Monitor(), nullptr);
    EXPECT_EQ(Window().Monitor()->MonitorNum, 1);
    EXPECT_EQ(Window().geometry(), Right.BoundsRect);
    EXPECT_EQ(Window().Panel->geometry(), QRect(QPoint(0, 0), Right.BoundsRect.size()));
    // The panel works in that monitor's device pixels from the start.
    EXPECT_EQ(Window().Panel->DeviceSize(), QSize(Right.Width, Right.Height));
    // The same monitor again leaves a window moved meanwhile where it is.
    Window().move(10, 10);
    Window().SetMonitor(Right);
    EXPECT_EQ(Window().pos(), QPoint(10, 10));
}

TEST_F(SaverWindow, MouseClosesOnlyAfterMovingMoreThanFivePixelsFromTheFirstPosition) {
    struct TCase {
        std::vector<QPoint> Moves;
        bool Closes;
    };
    const std::vector<TCase> Cases{
        {{{100, 100}}, false},
        {{{5000, -5000}}, false}, // the first event only records, wherever it is
        {{{100, 100}, {105, 95}, {95, 105}, {100, 100}}, false},
        {{{100, 100}, {106, 100}}, true},
        {{{100, 100}, {100, 94}}, true},
        {{{100, 100}, {94, 100}}, true},
        // The first position stays the reference: small steps add up.
        {{{100, 100}, {103, 100}, {105, 100}, {106, 100}}, true},
    };
    for (const TCase& Case : Cases) {
        SetUp();
        Shown();
        for (const QPoint& At : Case.Moves)
            Move(At.x(), At.y());
        EXPECT_EQ(!Window().isVisible(), Case.Closes) << "after " << Case.Moves.size() << " moves";
        EXPECT_EQ(Window().MouseX, Case.Moves.front().x());
        EXPECT_EQ(Window().MouseY, Case.Moves.front().y());
    }
}

TEST_F(SaverWindow, MouseMovesReachTheWindowInDevicePixelsThroughItsPanel) {
    // On the scale-2 monitor, 3 logical pixels are 6 device pixels: the pointer really
    // moved that far.
    Window().SetMonitor(TMonitors::List().at(1));
    Shown();
    const auto Send = [this](QPointF At) {
        QMouseEvent Event(QEvent::MouseMove, At, Window().Panel->mapToGlobal(At), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Window().Panel, &Event);
    };
    Send({20, 20});
    EXPECT_TRUE(Window().MouseSeen);
    EXPECT_EQ(Window().MouseX, 40);
    Send({22.5, 20});
    EXPECT_TRUE(Window().isVisible());
    Send({23, 20});
    EXPECT_FALSE(Window().isVisible());
}

TEST_F(SaverWindow, CharacterKeysCloseTheWindowOtherKeysDoNot) {
    Shown();
    Key(Qt::Key_Shift, {});
    Key(Qt::Key_Control, {});
    Key(Qt::Key_Left, {});
    Key(Qt::Key_F1, {});
    EXPECT_TRUE(Window().isVisible());
    Key(Qt::Key_A, "a");
    EXPECT_FALSE(Window().isVisible());

    for (const auto& [Code, Text] : std::vector<std::pair<Qt::Key, QString>>{
             {Qt::Key_Escape, "\x1b"}, {Qt::Key_Return, "\r"}, {Qt::Key_Tab, "\t"}}) {
        SetUp();
        Shown();
        Key(Code, Text);
        EXPECT_FALSE(Window().isVisible()) << Text.toStdString();
    }
}

TEST_F(SaverWindow, IdleStartUpRunsOncePerWindowAndOnlyThePrimaryPaints) {
    TFR_Saver& Primary = Shown();
    Primary.Primary = true;
    std::unique_ptr<TFR_Saver> Secondary(TForm::Create<TFR_Saver>());
    Secondary->show();
    ASSERT_TRUE(RunEventsUntil([&] { return !Primary.StartupPending; }, IdleTimeout));
    ASSERT_TRUE(RunEventsUntil([&] { return !Secondary->StartupPending; }, IdleTimeout));
    EXPECT_TRUE(Primary.Panel->Active());
    EXPECT_FALSE(Secondary->Panel->Active());

    // Later idle moments do not start anything again.
    Primary.Panel->SetActive(false);
    RunEvents(100);
    EXPECT_FALSE(Primary.Panel->Active());
    EXPECT_FALSE(Secondary->Panel->Active());
}

TEST_F(SaverWindow, HidingStopsThePainter) {
    TFR_Saver& Primary = Shown();
    Primary.Primary = true;
    ASSERT_TRUE(RunEventsUntil([&] { return Primary.Panel->Active(); }, IdleTimeout));
    ASSERT_NE(Primary.Panel->Painter(), nullptr);
    Primary.hide();
    EXPECT_FALSE(Primary.Panel->Active());
    EXPECT_EQ(Primary.Panel->Painter(), nullptr);
}
} // namespace
