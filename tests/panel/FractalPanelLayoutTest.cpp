#include "panel/FractalPanel.h"

#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {
using TBox = std::tuple<int, int, int, int>; // left, top, width, height

std::vector<TBox> Boxes(const TFractalPanel& Panel) {
    std::vector<TBox> Result;
    for (const auto& Frame : Panel.Frames())
        Result.emplace_back(Frame->Left, Frame->Top, Frame->Width, Frame->Height);
    return Result;
}

// A hidden panel of the given size; layouts read its size, not its visibility.
class FractalPanelLayout : public testing::Test {
protected:
    void Resize(int Width, int Height) {
        Panel.resize(Width, Height);
        ASSERT_EQ(Panel.DeviceSize(), QSize(Width, Height));
    }
    TFractalPanel Panel;
};
} // namespace

TEST_F(FractalPanelLayout, ScanOfOneCellCoversThePanel) {
    Resize(800, 600);
    Panel.AddScan(1, 1);
    EXPECT_EQ(Boxes(Panel), (std::vector<TBox>{{0, 0, 800, 600}}));
    EXPECT_EQ(Panel.Frames()[0]->Panel, &Panel);
}

TEST_F(FractalPanelLayout, ScanGoesRowByRowWithTheForwardRule) {
    Resize(1024, 768);
    Panel.AddScan(4, 3);
    const auto Frames = Boxes(Panel);
    ASSERT_EQ(Frames.size(), 12u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(Frames[i], TBox(i % 4 * 256, i / 4 * 256, 256, 256));

    Panel.ClearFrames();
    Resize(1024, 100);
    Panel.AddScan(3, 1);
    EXPECT_EQ(Boxes(Panel),
              (std::vector<TBox>{{0, 0, 341, 100}, {341, 0, 341, 100}, {682, 0, 342, 100}}));
}

TEST_F(FractalPanelLayout, CellsUnderTenPixelsAreDropped) {
    Resize(29, 50);
    Panel.AddScan(3, 1); // forward rule: 9, 10, 10
    EXPECT_EQ(Boxes(Panel), (std::vector<TBox>{{9, 0, 10, 50}, {19, 0, 10, 50}}));
    Panel.ClearFrames();
    Panel.AddSpiral(3, 1); // backward rule: 10, 10, 9
    EXPECT_EQ(Boxes(Panel), (std::vector<TBox>{{0, 0, 10, 50}, {10, 0, 10, 50}}));

    Panel.ClearFrames();
    Resize(90, 90);
    Panel.AddScan(10, 10);
    Panel.AddSpiral(10, 10);
    Panel.AddEdges(10, 10, EdgesTopRow); // the inner block is large enough
    EXPECT_EQ(Boxes(Panel), (std::vector<TBox>{{0, 9, 90, 81}}));
    Panel.AddFrame(0, 0, 10, 9);
    Panel.AddFrame(0, 0, 9, 10);
    EXPECT_EQ(Panel.FrameCount(), 1);
}

TEST_F(FractalPanelLayout, SpiralUsesTheBackwardRule) {
    Resize(1024, 768);
    Panel.AddSpiral(3, 1);
    EXPECT_EQ(Boxes(Panel),
              (std::vector<TBox>{{0, 0, 342, 768}, {342, 0, 341, 768}, {683, 0, 341, 768}}));
    Panel.ClearFrames();
    Panel.AddSpiral(1, 1);
    EXPECT_EQ(Boxes(Panel), (std::vector<TBox>{{0, 0, 1024, 768}}));

    Panel.ClearFrames();
    Resize(400, 300);
    Panel.AddSpiral(4, 3);
    const std::vector<std::pair<int, int>> Order{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 3}, {2, 3},
                                                 {2, 2}, {2, 1}, {2, 0}, {1, 0}, {1, 1}, {1, 2}};
    ASSERT_EQ(Panel.FrameCount(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(Boxes(Panel)[i], TBox(Order[i].second * 100, Order[i].first * 100, 100, 100));
}

TEST_F(FractalPanelLayout, BorderAppendsTheRingThenTheInside) {
    Resize(400, 300);
    Panel.AddEdges(4, 3, EdgesBorder);
    EXPECT_EQ(Boxes(Panel), (std::vector<TBox>{{0, 0, 100, 100},
                                               {100, 0, 100, 100},
                                               {200, 0, 100, 100},
                                               {300, 0, 100, 100},
                                               {0, 100, 100, 100},
                                               {300, 100, 100, 100},
                                               {0, 200, 100, 100},
                                               {100, 200, 100, 100},
                                               {200, 200, 100, 100},
                                               {300, 200, 100, 100},
                                               {100, 100, 200, 100}}));
}

TEST_F(FractalPanelLayout, EdgeSetsOfTheFramesPage) {
    Resize(301, 200);                  // backward rule: columns 101, 100, 100
    Panel.AddEdges(2, 2, EdgesPillar); // no middle column: no inner frame
    EXPECT_EQ(Boxes(Panel),
              (std::vector<TBox>{
                  {0, 0, 151, 100}, {151, 0, 150, 100}, {0, 100, 151, 100}, {151, 100, 150, 100}}));
    Panel.ClearFrames();
    Panel.AddEdges(3, 2, EdgesLeftColumn);
    EXPECT_EQ(Boxes(Panel),
              (std::vector<TBox>{{0, 0, 101, 100}, {0, 100, 101, 100}, {101, 0, 200, 200}}));
    Panel.ClearFrames();
    Panel.AddEdges(1, 4, EdgesLetterbox);
    EXPECT_EQ(Boxes(Panel),
              (std::vector<TBox>{{0, 0, 301, 50}, {0, 150, 301, 50}, {0, 50, 301, 100}}));
    // Without InnerLast only the edge cells; a one-column matrix is both left and right
    // column, and each of its cells is appended once.
    Panel.ClearFrames();
    Panel.AddEdges(1, 2, LeftColumn | RightColumn);
    EXPECT_EQ(Boxes(Panel), (std::vector<TBox>{{0, 0, 301, 100}, {0, 100, 301, 100}}));
}

TEST_F(FractalPanelLayout, MatrixBelowOneCellAppendsNothing) {
    Resize(400, 300);
    for (const auto& [Wide, High] : {std::pair{0, 3}, {3, 0}, {-1, -1}}) {
        Panel.AddScan(Wide, High);
        Panel.AddSpiral(Wide, High);
        Panel.AddEdges(Wide, High, EdgesBorder);
        Panel.AddEdges(Wide, High, InnerLast);
    }
    EXPECT_EQ(Panel.FrameCount(), 0);
    EXPECT_THROW(Panel.CurrentFrame(), ERangeError);
}

TEST_F(FractalPanelLayout, NewOrClearedFrameListStartsAtItsFirstFrame) {
    Resize(400, 300);
    Panel.AddScan(2, 1);
    Panel.AdvanceFrame();
    EXPECT_EQ(Panel.FrameIndex(), 1);
    Panel.AdvanceFrame();
    EXPECT_EQ(Panel.FrameIndex(), 0);
    Panel.AdvanceFrame();
    Panel.AddFrame(0, 0, 50, 50);
    EXPECT_EQ(Panel.FrameIndex(), 0);
    Panel.AdvanceFrame();
    Panel.AdvanceFrame();
    EXPECT_EQ(&Panel.CurrentFrame(), Panel.Frames()[2].get());
    Panel.ClearFrames();
    EXPECT_EQ(Panel.FrameIndex(), 0);
    Panel.AddFrame(0, 0, 20, 20);
    Panel.AddFrame(0, 0, 30, 30);
    Panel.AdvanceFrame();
    Panel.AddFrame(0, 0, 5, 5); // dropped: the list is unchanged and keeps its place
    EXPECT_EQ(Panel.FrameIndex(), 1);
}
