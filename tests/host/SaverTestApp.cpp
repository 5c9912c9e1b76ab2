#include "tests/host/SaverTestApp.h"

#include "host/Application.h"
#include "tests/host/HostTestSupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>

namespace {
constexpr int PollInterval = 10; // milliseconds

// Both screens 160 x 90 device pixels. The right one is scaled by Qt's own factor, as
// QT_SCREEN_SCALE_FACTORS scales an X11 screen: the offscreen platform's "dpr" reaches the
// screen but, from Qt 6.6 on, not the windows on it, as no real platform's scale does.
const char* const ScreensJson = R"({
  "screens": [
    {"name": "Left", "x": 0, "y": 0, "width": 160, "height": 90,
     "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1},
    {"name": "Right", "x": 160, "y": 0, "width": 160, "height": 90,
     "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}
  ]
})";
const char* const ScaleFactors = "Left=1;Right=2";

struct TAppState {
    TTempDir Folder;
    std::unique_ptr<TApplication> App;
    std::string ConfigHome;
};

TAppState*& State() {
    static TAppState* Value = nullptr;
    return Value;
}

class TSaverAppEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        delete State();
        State() = nullptr;
    }
};

[[maybe_unused]] auto* const Registered =
    ::testing::AddGlobalTestEnvironment(new TSaverAppEnvironment);
} // namespace

TApplication& SaverTestApp() {
    if (!State()) {
        State() = new TAppState;
        const std::string Config = State()->Folder.Path() + "/screens.json";
        std::ofstream(Config) << ScreensJson;
        State()->ConfigHome = State()->Folder.Path() + "/config";
        setenv("XDG_CONFIG_HOME", State()->ConfigHome.c_str(), 1);
        setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + Config).c_str(), 1);
        setenv("QT_SCREEN_SCALE_FACTORS", ScaleFactors, 1);
        static int Argc = 1;
        static char Name[] = "host_tests";
        static char* Argv[] = {Name, nullptr};
        State()->App = std::make_unique<TApplication>(Argc, Argv);
        // Tests close main windows without running the application's own loop.
        TApplication::setQuitOnLastWindowClosed(false);
    }
    return *State()->App;
}

const std::string& SaverTestConfigHome() {
    SaverTestApp();
    return State()->ConfigHome;
}

void RunEvents(int Milliseconds) {
    QEventLoop Loop;
    QTimer::singleShot(Milliseconds, &Loop, &QEventLoop::quit);
    Loop.exec();
}

bool RunEventsUntilImpl(bool (*Check)(void*), void* Context, int Timeout) {
    QElapsedTimer Clock;
    Clock.start();
    while (!Check(Context)) {
        if (Clock.elapsed() > Timeout)
            return false;
        RunEvents(PollInterval);
    }
    return true;
}
