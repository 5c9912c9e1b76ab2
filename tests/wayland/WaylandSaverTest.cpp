// The saver and the dialog as native Wayland programs, on a real compositor: Debian's
// sway, headless, with two outputs side by side. Input comes from a virtual pointer and
// keyboard of the test's own; what the outputs show comes from grim.
#include "tests/wayland/Sway.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr int Width = TSway::OutputWidth;
constexpr int Height = TSway::OutputHeight;
constexpr auto ShowWithin = 10s;
constexpr auto EndWithin = 5s;
// Time given to the program to react to input that must not end it.
constexpr auto SettleTime = 400ms;
// Frames held back for 2 s bring a painter to rest; its rest is seen within this. Frames
// coming back are looked for on whole seconds, a second or two on a loaded machine.
constexpr auto RestWithin = 12s;
constexpr auto GoOnWithin = 3s;
constexpr std::size_t FractalShades = 8;
constexpr std::uint32_t Black = 0;
constexpr const char* Primary = "HEADLESS-1";
constexpr const char* Secondary = "HEADLESS-2";

// Red and blue only, no highlighting; the second monitor shows a matrix of 2 x 2 frames.
const std::string Settings = std::string(RedAndBlueSettings) + SecondMonitorMatrix;

// Every pixel black or a shade of red or of blue, the hues of the settings.
bool RedAndBlueOnly(const TShot& Shot) {
    for (const std::uint32_t P : Shot.Pixels) {
        const std::uint32_t R = P >> 16 & 0xFF, G = P >> 8 & 0xFF, B = P & 0xFF;
        if (G != 0 || (R != 0 && B != 0))
            return false;
    }
    return !Shot.Pixels.empty();
}

// Whether anything but black lies outside the rectangle [0, Right] x [0, Bottom].
bool PaintedBeyond(const TShot& Shot, int Right, int Bottom) {
    for (int Y = 0; Y < Shot.Height; ++Y)
        for (int X = 0; X < Shot.Width; ++X)
            if ((X > Right || Y > Bottom) && Shot.At(X, Y) != Black)
                return true;
    return false;
}

// A display name no X server answers to, for the whole run: a saver that tried X would
// end at once.
std::string NoXServer() {
    static const TNoXServer Nobody;
    return Nobody.Display();
}

// The mouse arrow as the compositor draws it, where no client sets a cursor: each pixel
// that differs from the background, relative to the pointer's position.
struct TArrowPixel {
    int DX, DY;
    std::uint32_t Colour;
};

class WaylandSaver : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (TSway::Unavailable().empty())
            FSway = new TSway;
    }
    static void TearDownTestSuite() {
        delete FSway;
        FSway = nullptr;
    }

    void SetUp() override {
        if (!FSway)
            GTEST_SKIP() << TSway::Unavailable();
        ASSERT_TRUE(FSway->Started()) << FSway->Error();
        SettingsPath = FSway->Home() + "/.config/Ystrelo.ini";
        std::ofstream(SettingsPath) << Settings;
        FSway->Own(SettingsPath);
    }

    void TearDown() override {
        if (FSaver && FSaver->Running()) {
            FSaver->Signal(SIGTERM);
            FSaver->Wait(EndWithin);
        }
        FSaver.reset();
    }

    // The saver, started as a client of the compositor; an X display that no server
    // answers is set, and nothing may try it.
    void StartSaver(const std::string& Mode = "/s") {
        FSaver = FSway->Start({YstreloBinary(), Mode}, {"DISPLAY=" + NoXServer()});
    }

    // The window whose title begins with Caption (Qt adds the application's name).
    std::optional<TSwayWindow> Window(const std::string& Caption) const {
        for (const TSwayWindow& W : FSway->Windows())
            if (W.Title.rfind(Caption, 0) == 0)
                return W;
        return std::nullopt;
    }
    // Both saver windows on the tree, full screen.
    bool SaverShown() const {
        const auto P = Window("Primary"), S = Window("Secondary 1");
        return P && S && P->FullScreen && S->FullScreen;
    }
    void WaitForSaver() {
        ASSERT_TRUE(WaitUntil([&] { return SaverShown() || !FSaver->Running(); }, ShowWithin));
        ASSERT_TRUE(FSaver->Running()) << FSaver->Stderr();
    }
    bool Painting(const char* Output) const {
        return FSway->Screenshot(Output).Colours() >= FractalShades;
    }
    // A run that ends normally says nothing, whatever Qt's Wayland platform has to say.
    void ExpectEnd(int Code) {
        const auto Status = FSaver->Wait(EndWithin);
        EXPECT_TRUE(ExitedWith(Status, Code)) << Status.value_or(-1) << " " << FSaver->Stderr();
        if (Code == 0) {
            EXPECT_EQ(FSaver->Stderr(), "");
        }
    }

    static TSway* FSway;
    std::unique_ptr<TChild> FSaver;
    std::string SettingsPath;
};
TSway* WaylandSaver::FSway = nullptr;
} // namespace

TEST_F(WaylandSaver, EveryOutputShowsTheZoomInTheUsersHuesWithoutACursor) {
    // The arrow, as sway draws it over its bare background.
    constexpr int PointerX = 200, PointerY = 150, ArrowBox = 32;
    FSway->MovePointer(PointerX, PointerY);
    const TShot Bare = FSway->Screenshot(Primary);
    ASSERT_EQ(Bare.Width, Width);
    std::vector<TArrowPixel> Arrow;
    for (int DY = 0; DY < ArrowBox; ++DY)
        for (int DX = 0; DX < ArrowBox; ++DX)
            if (const std::uint32_t P = Bare.At(PointerX + DX, PointerY + DY); P != Bare.At(0, 0))
                Arrow.push_back({DX, DY, P});
    ASSERT_GT(Arrow.size(), 20u) << "no arrow drawn at the pointer";

    StartSaver();
    WaitForSaver();
    const auto Windows = FSway->Windows();
    ASSERT_EQ(Windows.size(), 2u);
    for (const TSwayWindow& W : Windows) {
        EXPECT_EQ(W.Output, W.Title.rfind("Primary", 0) == 0 ? Primary : Secondary) << W.Title;
        EXPECT_TRUE(W.FullScreen) << W.Title;
        EXPECT_EQ(W.Width, Width);
        EXPECT_EQ(W.Height, Height);
    }

    // The first view of the second output appears in the top-left frame of its 2 x 2
    // matrix (a painter shares a frame's last column and row with the next frame).
    constexpr int CellRight = Width / 2, CellBottom = Height / 2;
    // Only the second output is watched until it shows something: the painter is quick.
    TShot Second;
    ASSERT_TRUE(WaitUntil([&] { return (Second = FSway->Screenshot(Secondary)).Colours() > 1; },
                          ShowWithin));
    const bool SecondStartedInItsFirstFrame = !PaintedBeyond(Second, CellRight, CellBottom);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Painting(Primary) && FSway->Screenshot(Secondary).Colours() >= FractalShades;
        },
        ShowWithin))
        << FSaver->Stderr();
    EXPECT_TRUE(SecondStartedInItsFirstFrame);
    const TShot First = FSway->Screenshot(Primary);
    EXPECT_TRUE(RedAndBlueOnly(First));
    EXPECT_TRUE(RedAndBlueOnly(FSway->Screenshot(Secondary)));
    // No arrow where the pointer is: the arrow's light pixels would show there.
    std::size_t Light = 0, Shown = 0;
    for (const TArrowPixel& P : Arrow)
        if (P.Colour != Black) {
            ++Light;
            Shown += First.At(PointerX + P.DX, PointerY + P.DY) == P.Colour;
        }
    EXPECT_LT(Shown * 4, Light) << Shown << " of the arrow's " << Light << " light pixels shown";
    EXPECT_TRUE(WaitUntil(
        [&] { return PaintedBeyond(FSway->Screenshot(Secondary), CellRight, CellBottom); },
        ShowWithin));
    // Nothing tried the X display.
    EXPECT_TRUE(FSaver->Running()) << FSaver->Stderr();
}

TEST_F(WaylandSaver, AKeyOnEitherOutputEndsTheSaver) {
    // A user at the second output: the pointer rests there, and its window gets the
    // keyboard once the saver shows.
    FSway->MovePointer(Width + 100, 100);
    StartSaver();
    WaitForSaver();
    // The primary window has the keyboard.
    EXPECT_TRUE(
        WaitUntil([&] { return Window("Primary") && Window("Primary")->Focused; }, ShowWithin));
    FSway->Message("focus output " + std::string(Secondary));
    ASSERT_TRUE(WaitUntil([&] { return Window("Secondary")->Focused; }, ShowWithin));
    FSway->Type("a");
    ExpectEnd(0);
    // The settings are written at the end: every monitor's section, the user's values kept.
    const std::string Written = ReadFile(SettingsPath);
    EXPECT_NE(Written.find("[Monitor-0]"), std::string::npos) << Written;
    EXPECT_NE(Written.find("ckMagenta.Checked=False"), std::string::npos) << Written;
    EXPECT_NE(Written.find("spWide.Position=2"), std::string::npos) << Written;
}

TEST_F(WaylandSaver, MonitorsAreNumberedFromTheOriginWhicheverOutputIsAnnouncedFirst) {
    // A third output, announced after the others.
    FSway->Message("create_output");
    const std::string Third = "HEADLESS-3";
    const auto Place = [&](const std::string& Output, int Column) {
        FSway->Message("output " + Output + " mode " + std::to_string(Width) + "x" +
                       std::to_string(Height) + " pos " + std::to_string(Column * Width) + " 0");
    };
    // The outputs of the windows of monitors 0, 1 and 2, on a fresh saver.
    const auto Numbered = [&] {
        StartSaver();
        std::string Outputs;
        EXPECT_TRUE(WaitUntil([&] { return Window("Secondary 2").has_value(); }, ShowWithin));
        for (const char* Caption : {"Primary", "Secondary 1", "Secondary 2"})
            Outputs += (Window(Caption) ? Window(Caption)->Output : "none") + " ";
        FSaver->Signal(SIGTERM);
        ExpectEnd(0);
        return Outputs;
    };
    Place(Third, 0);
    Place(Primary, 1);
    Place(Secondary, 2);
    EXPECT_EQ(Numbered(), Third + " " + Primary + " " + Secondary + " ");
    Place(Secondary, 0);
    Place(Third, 2);
    EXPECT_EQ(Numbered(), std::string(Secondary) + " " + Primary + " " + Third + " ");
}

TEST_F(WaylandSaver, AMoveOfMoreThanFivePixelsEndsTheSaverAcrossTheEdgeBetweenOutputs) {
    // Next to the edge before the saver shows: where the pointer comes in is the first
    // position, whether the compositor reports it at once or with the first motion.
    FSway->MovePointer(Width - 1, 100);
    StartSaver();
    WaitForSaver();
    FSway->MovePointer(Width - 1, 101);
    // Onto the second output (an enter there, not a motion), a few pixels on.
    FSway->MovePointer(Width + 2, 102);
    FSway->MovePointer(Width + 3, 103);
    std::this_thread::sleep_for(SettleTime);
    ASSERT_TRUE(FSaver->Running()) << FSaver->Stderr();
    FSway->MovePointer(Width + 5, 103);
    ExpectEnd(0);
}

TEST_F(WaylandSaver, TheDialogShowsWithItsPreviewPainting) {
    StartSaver("/c");
    std::optional<TSwayWindow> Dialog;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto Windows = FSway->Windows();
            if (!Windows.empty())
                Dialog = Windows.front();
            return Dialog.has_value() || !FSaver->Running();
        },
        ShowWithin));
    ASSERT_TRUE(FSaver->Running()) << FSaver->Stderr();
    EXPECT_EQ(Dialog->Title.rfind("Ystrelo Configuration", 0), 0u) << Dialog->Title;
    // The preview: many saturated colours, where the dialog's own are greys and a blue.
    const auto PreviewColours = [&] {
        std::set<std::uint32_t> Saturated;
        for (const std::uint32_t P : FSway->Screenshot(Dialog->Output).Pixels) {
            const int R = P >> 16 & 0xFF, G = P >> 8 & 0xFF, B = P & 0xFF;
            if (std::max({R, G, B}) - std::min({R, G, B}) > 64)
                Saturated.insert(P);
        }
        return Saturated.size();
    };
    EXPECT_TRUE(WaitUntil([&] { return PreviewColours() >= 4 * FractalShades; }, ShowWithin));
    FSway->Message("[app_id=ystrelo] kill");
    ExpectEnd(0);
}

TEST_F(WaylandSaver, TheReadmeSwayidleLineStartsTheSaverOnIdleAndEndsItOnResume) {
    // As the README gives it, with a shorter timeout.
    auto Idle = FSway->Start(
        {"/usr/bin/swayidle", "timeout", "1", "ystrelo /s", "resume", "pkill -xf \"ystrelo /s\""});
    ASSERT_TRUE(WaitUntil([&] { return SaverShown(); }, ShowWithin)) << Idle->Stderr();
    // A movement too small to end the saver by itself ends the idle time.
    FSway->MovePointer(300, 300);
    FSway->MovePointer(301, 300);
    EXPECT_TRUE(WaitUntil([&] { return FSway->Windows().empty(); }, EndWithin));
    Idle->Signal(SIGTERM);
    Idle->Wait(EndWithin);
}

TEST_F(WaylandSaver, ThePainterRestsWhileNoOutputShowsTheSaverAndGoesOnWhenOneDoes) {
    StartSaver();
    WaitForSaver();
    // sway 1.10 switches a headless output off ("power off") and sends no frames to what
    // it showed. sway 1.7 cannot: its "dpms off" fails to commit on the headless backend
    // and the output stays on. There both outputs show other workspaces instead, which
    // stops the frames of the saver's windows as well.
    const QJsonObject Version =
        QJsonDocument::fromJson(QByteArray::fromStdString(FSway->Message("-t get_version")))
            .object();
    const bool PowerOff = Version["major"].toInt() > 1 || Version["minor"].toInt() >= 10;
    // Every output, an earlier case's third one too, and the workspace each shows; the
    // focused one last, so that it keeps the focus.
    std::vector<std::pair<std::string, std::string>> Outputs;
    for (const auto& Output :
         QJsonDocument::fromJson(QByteArray::fromStdString(FSway->Message("-t get_outputs"))).array())
        Outputs.emplace(Output.toObject()["focused"].toBool() ? Outputs.end() : Outputs.begin(),
                        Output.toObject()["name"].toString().toStdString(),
                        Output.toObject()["current_workspace"].toString().toStdString());
    const auto Show = [&](bool On) {
        if (PowerOff)
            return (void)FSway->Message(std::string("output * power ") + (On ? "on" : "off"));
        for (const auto& [Output, Workspace] : Outputs)
            FSway->Message("focus output " + Output + ", workspace " +
                           (On ? Workspace : "hidden-" + Output));
    };
    TPainterWatch(FSaver->Pid())
        .ExpectRestWhileHidden([&] { Show(false); }, [&] { Show(true); }, ShowWithin, RestWithin,
                               GoOnWithin);
    EXPECT_TRUE(FSaver->Running()) << FSaver->Stderr();
}

// An output unplugged while the saver paints: its window drops out, the others paint on.
// A headless output cannot be switched off, so the outputs are windows of another sway.
TEST(WaylandUnplug, AnOutputUnpluggedWhilePaintingLeavesTheOtherPainting) {
    if (const std::string Reason = TSway::Unavailable(); !Reason.empty())
        GTEST_SKIP() << Reason;
    TSway Host;
    ASSERT_TRUE(Host.Started()) << Host.Error();
    // sway 1.7 (wlroots 0.15) cannot switch a headless output off, so there the outputs
    // are windows of a second sway nested in the first, and closing one unplugs it. Later
    // ones switch a headless output off, but a sway nested in them loses its connection
    // before its outputs show.
    const QJsonObject Version =
        QJsonDocument::fromJson(QByteArray::fromStdString(Host.Message("-t get_version"))).object();
    const bool Nest = Version["major"].toInt() == 1 && Version["minor"].toInt() < 8;
    std::unique_ptr<TSway> NestedSway = Nest ? std::make_unique<TSway>(&Host) : nullptr;
    TSway& Sway = Nest ? *NestedSway : Host;
    ASSERT_TRUE(Sway.Started()) << Sway.Error();
    auto Saver = Sway.Start({YstreloBinary(), "/s"});
    const auto Shows = [&](const std::string& Caption) {
        for (const TSwayWindow& W : Sway.Windows())
            if (W.Title.rfind(Caption, 0) == 0)
                return true;
        return false;
    };
    const auto Painting = [&](int Output) {
        return Sway.Screenshot(Sway.Output(Output)).Colours() >= FractalShades;
    };
    ASSERT_TRUE(
        WaitUntil([&] { return (Painting(1) && Painting(2)) || !Saver->Running(); }, ShowWithin));
    ASSERT_TRUE(Saver->Running()) << Saver->Stderr();
    ASSERT_TRUE(Shows("Secondary"));
    if (Nest)
        Host.Message("[title=\"" + Sway.Output(2) + "\"] kill");
    else
        Host.Message("output " + Host.Output(2) + " disable");
    EXPECT_TRUE(WaitUntil([&] { return !Shows("Secondary"); }, EndWithin));
    ASSERT_TRUE(Saver->Running()) << Saver->Stderr();
    EXPECT_TRUE(Shows("Primary"));
    // The first output keeps changing: new views are painted there.
    const TShot Before = Sway.Screenshot(Sway.Output(1));
    EXPECT_TRUE(WaitUntil([&] { return Sway.Screenshot(Sway.Output(1)).Pixels != Before.Pixels; },
                          ShowWithin));
    EXPECT_TRUE(Saver->Running()) << Saver->Stderr();
    Saver->Signal(SIGTERM);
    const auto Status = Saver->Wait(EndWithin);
    EXPECT_TRUE(ExitedWith(Status, 0)) << Status.value_or(-1) << " " << Saver->Stderr();
}

// A compositor that goes away ends the saver at once, in one line.
TEST(WaylandLoss, ACompositorThatGoesAwayEndsTheSaverInOneLine) {
    if (const std::string Reason = TSway::Unavailable(); !Reason.empty())
        GTEST_SKIP() << Reason;
    TSway Sway;
    ASSERT_TRUE(Sway.Started()) << Sway.Error();
    auto Saver = Sway.Start({YstreloBinary(), "/s"});
    ASSERT_TRUE(
        WaitUntil([&] { return Sway.Windows().size() == 2 || !Saver->Running(); }, ShowWithin));
    ASSERT_TRUE(Saver->Running()) << Saver->Stderr();
    Sway.Kill();
    const auto Status = Saver->Wait(EndWithin);
    EXPECT_TRUE(ExitedWith(Status, 1)) << Status.value_or(-1);
    EXPECT_EQ(Saver->Stderr(), "ystrelo: lost the connection to the Wayland compositor\n");
}

// A name that no compositor answers to is reported like a missing X display.
TEST(WaylandStart, ADisplayWithoutACompositorEndsInOneLine) {
    TTempDir Runtime;
    for (const char* Mode : {"/s", "/c"}) {
        const TRunResult Result = RunYstrelo(
            {Mode}, {"WAYLAND_DISPLAY=no-compositor",
                     "QT_QPA_PLATFORM=", "DISPLAY=", "XDG_RUNTIME_DIR=" + Runtime.Path()});
        EXPECT_TRUE(Result.ExitedWith(1)) << Mode << " " << Result.Status;
        EXPECT_EQ(Result.Stderr,
                  "ystrelo: cannot connect to the Wayland compositor no-compositor\n")
            << Mode;
    }
}
