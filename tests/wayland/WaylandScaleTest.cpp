// The saver on scaled outputs and on outputs that change while it runs: every device pixel
// painted, at the output's own resolution.
#include "tests/wayland/Sway.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {
constexpr auto ShowWithin = 10s;

// Views that take long to finish: a painter kept on a surface no longer shown would leave
// it unchanged for long.
constexpr const char* LongViews = "[TWinControlForm]\nrgMaxAge.ItemIndex=4\n";

// Something painted across the whole output, at full resolution. Every eighth of its width
// and of its height holds some colour: the set's black inside may fill a block of the
// output, but not a whole strip of the views the saver picks, while a picture painted at an
// old size or scale leaves its right and bottom strips black. A picture shown at twice its
// size would leave each 2 x 2 block of device pixels one colour.
bool PaintedSharp(const TShot& Shot) {
    constexpr int Strips = 8;
    std::size_t Columns[Strips]{}, Rows[Strips]{}, Detailed = 0;
    for (int Y = 0; Y + 1 < Shot.Height; Y += 2)
        for (int X = 0; X + 1 < Shot.Width; X += 2) {
            const std::uint32_t P = Shot.At(X, Y);
            Columns[X * Strips / Shot.Width] += P != 0;
            Rows[Y * Strips / Shot.Height] += P != 0;
            Detailed +=
                P != Shot.At(X + 1, Y) || P != Shot.At(X, Y + 1) || P != Shot.At(X + 1, Y + 1);
        }
    const std::size_t Blocks = Shot.Pixels.size() / 4, StripBlocks = Blocks / Strips;
    for (int S = 0; S < Strips; ++S)
        if (Columns[S] * 100 < StripBlocks || Rows[S] * 100 < StripBlocks)
            return false;
    return Blocks && Detailed * 20 > Blocks;
}

class WaylandScale : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string Reason = TSway::Unavailable(); !Reason.empty())
            GTEST_SKIP() << Reason;
        FSway = std::make_unique<TSway>();
        ASSERT_TRUE(FSway->Started()) << FSway->Error();
        const std::string Settings = FSway->Home() + "/.config/Ystrelo.ini";
        std::ofstream(Settings) << LongViews;
        FSway->Own(Settings);
    }
    bool Sharp(int Output) const { return PaintedSharp(FSway->Screenshot(FSway->Output(Output))); }
    // The saver, once it paints both outputs whole and sharp.
    void StartSaver(const std::vector<std::string>& Set = {}) {
        FSaver = FSway->Start({YstreloBinary(), "/s"}, Set);
        EXPECT_TRUE(
            WaitUntil([&] { return (Sharp(1) && Sharp(2)) || !FSaver->Running(); }, ShowWithin));
        EXPECT_TRUE(FSaver->Running()) << FSaver->Stderr();
    }

    std::unique_ptr<TSway> FSway;
    std::unique_ptr<TChild> FSaver; // killed before its compositor
};
} // namespace

TEST_F(WaylandScale, QtsOwnScaleFactorStillPaintsEveryDevicePixel) {
    StartSaver({"QT_SCALE_FACTOR=2"});
}

TEST_F(WaylandScale, AnOutputThatChangesModeOrScaleIsFollowed) {
    StartSaver();
    for (const std::string Change : {"mode 800x600", "scale 2", "scale 1"}) {
        FSway->Message("output " + FSway->Output(2) + " " + Change);
        EXPECT_TRUE(WaitUntil([&] { return Sharp(2); }, ShowWithin)) << Change;
    }
    EXPECT_EQ(FSway->Screenshot(FSway->Output(2)).Width, 800);
    EXPECT_TRUE(FSaver->Running()) << FSaver->Stderr();
}
