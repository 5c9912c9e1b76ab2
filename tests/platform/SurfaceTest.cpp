#include "platform/Surface.h"
#include "platform/qt/SurfaceWidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(Surface, PixelsClipAndConvertBothWays) {
    TSurface Surface(5, 4, MakeColour(1, 2, 3));
    EXPECT_EQ(Surface.Pixel(4, 3), MakeColour(1, 2, 3));
    Surface.SetPixel(2, 1, MakeColour(10, 20, 30));
    EXPECT_EQ(Surface.Pixel(2, 1), MakeColour(10, 20, 30));
    EXPECT_EQ(Surface.Argb(2, 1), 0xFF0A141Eu); // Qt's layout: alpha, red, green, blue
    for (auto [X, Y] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 4}, {1 << 30, 1 << 30}})
        Surface.SetPixel(X, Y, clWhite); // clipped, no crash
    EXPECT_EQ(Surface.Pixel(-1, 0), clBlack);
}

TEST(Surface, DirtyTilesNameEveryChangedTileOnce) {
    TSurface Surface(100, 70, clBlack);
    Surface.TakeDirtyTiles(); // the initial fill
    EXPECT_TRUE(Surface.TakeDirtyTiles().empty());
    Surface.SetPixel(0, 0, clWhite);
    Surface.SetPixel(31, 31, clWhite);
    Surface.SetPixel(99, 69, clWhite); // the clipped last tile
    const auto Tiles = Surface.TakeDirtyTiles();
    ASSERT_EQ(Tiles.size(), 2u);
    EXPECT_EQ(Tiles[0].Left, 0);
    EXPECT_EQ(Tiles[0].Width, 32);
    EXPECT_EQ(Tiles[1].Left, 96);
    EXPECT_EQ(Tiles[1].Top, 64);
    EXPECT_EQ(Tiles[1].Width, 4);
    EXPECT_EQ(Tiles[1].Height, 6);
    EXPECT_FALSE(Surface.AnyDirty());
}

TEST(Surface, WriterAndReaderNeverLoseAPixel) {
    // The painter writes while the GUI collects tiles; after the last collection every
    // written pixel must have been reported in some tile, with its final colour.
    constexpr int Side = 64;
    TSurface Surface(Side, Side, clBlack);
    Surface.TakeDirtyTiles();
    std::vector<std::uint32_t> Seen(Side * Side, TSurface::ToArgb(clBlack));
    std::atomic<bool> Done{false};
    std::thread Writer([&] {
        for (int Round = 1; Round <= 20; ++Round)
            for (int i = 0; i < Side * Side; ++i)
                Surface.SetPixel(i % Side, i / Side, Round * 1000 + i);
        Done = true;
    });
    const auto Collect = [&] {
        for (const auto& T : Surface.TakeDirtyTiles())
            for (int Y = T.Top; Y < T.Top + T.Height; ++Y)
                for (int X = T.Left; X < T.Left + T.Width; ++X)
                    Seen[Y * Side + X] = Surface.Argb(X, Y);
    };
    while (!Done)
        Collect();
    Writer.join();
    Collect();
    for (int i = 0; i < Side * Side; ++i)
        ASSERT_EQ(Seen[i], TSurface::ToArgb(20 * 1000 + i)) << i;
}

TEST(SurfaceWindow, ResizeKeepsThePictureAndOldContextsStayHarmless) {
    auto Window = TSurfaceWindow::Create(10, 10, MakeColour(0, 0, 9));
    HDC Old = GetDC(Window);
    SetPixelV(Old, 3, 3, clWhite);
    Window->Resize(20, 5);
    auto Now = Window->Surface();
    EXPECT_EQ(Now->Pixel(3, 3), clWhite);
    EXPECT_EQ(Now->Pixel(15, 2), MakeColour(0, 0, 9)); // new area: background
    SetPixelV(Old, 4, 4, clWhite);                     // into the replaced surface: harmless
    Window.reset();
    SetPixelV(Old, 5, 5, clWhite); // window gone: still harmless
    EXPECT_EQ(Old.use_count(), 1);
}

TEST(SurfaceWidget, ShowsPixelsDrawnFromAnotherThreadPromptly) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int Argc = 1;
    char Name[] = "platform_tests";
    char* Argv[] = {Name, nullptr};
    std::unique_ptr<QApplication> App;
    if (!QApplication::instance())
        App = std::make_unique<QApplication>(Argc, Argv);
    TSurfaceWidget Widget(nullptr, MakeColour(0, 40, 0));
    Widget.resize(120, 80);
    Widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Widget));
    EXPECT_EQ(Widget.DeviceSize(), QSize(120, 80));
    EXPECT_EQ(QColor(Widget.Snapshot().pixel(5, 5)), QColor(0, 40, 0));

    HDC DC = GetDC(Widget.Handle());
    std::thread([&] { SetPixelV(DC, 70, 50, MakeColour(200, 100, 50)); }).join();
    QElapsedTimer Clock;
    Clock.start();
    while (QColor(Widget.Snapshot().pixel(70, 50)) != QColor(200, 100, 50) &&
           Clock.elapsed() < 5000)
        QTest::qWait(5);
    EXPECT_EQ(QColor(Widget.Snapshot().pixel(70, 50)), QColor(200, 100, 50));
    std::printf("pixel shown after %lld ms\n", static_cast<long long>(Clock.elapsed()));

    // Covered and exposed again: the picture is still there (the widget repaints from
    // its own copy, not from anything that was on screen).
    Widget.hide();
    Widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Widget));
    EXPECT_EQ(QColor(Widget.grab().toImage().pixel(70, 50)), QColor(200, 100, 50));

    // The painter moves on to another monitor: this one rests, and shows the painter's
    // pixels again once it comes back.
    ReleaseDC(Widget.Handle(), DC);
    QTest::qWait(3 * TSurfaceWidget::RefreshInterval);
    DC = GetDC(Widget.Handle());
    std::thread([&] { SetPixelV(DC, 20, 10, MakeColour(10, 20, 250)); }).join();
    Clock.restart();
    while (QColor(Widget.Snapshot().pixel(20, 10)) != QColor(10, 20, 250) &&
           Clock.elapsed() < 5000)
        QTest::qWait(5);
    EXPECT_EQ(QColor(Widget.Snapshot().pixel(20, 10)), QColor(10, 20, 250));
    ReleaseDC(Widget.Handle(), DC);
}

} // namespace
