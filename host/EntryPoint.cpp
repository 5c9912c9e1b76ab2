#include "host/EntryPoint.h"

#include "host/Application.h"
#include "host/InstanceGuard.h"
#include "host/Preview.h"
#include "host/SaverStartup.h"
#include "host/StartupState.h"
#include "platform/Errors.h"
#include "platform/SignalWatch.h"

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>

namespace {
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;

// Releases the single-instance guard on every way out.
struct TInstanceRelease {
    ~TInstanceRelease() { ReleaseInstance(); }
};

// The windowed modes' teardown also runs when their start-up failed.
struct TWindowedModeEnd {
    ~TWindowedModeEnd() { EndWindowedMode(); }
};

// Qt aborts the process when it finds no display; say so in one line instead.
void RequireDisplay() {
    const auto Set = [](const char* Name) {
        const char* Value = std::getenv(Name);
        return Value && *Value;
    };
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM"))
        throw EYstreloError("cannot open a display: DISPLAY is not set");
}

void RunWindowedMode(int& Argc, char** Argv) {
    RequireDisplay();
    // Before the application object: Qt starts threads of its own (the X event reader),
    // and they must inherit the blocked signals, or a signal could kill the process on
    // one of them instead of ending the loop below.
    TSignalWatch Signals{SIGTERM, SIGINT, SIGHUP};
    TApplication Application(Argc, Argv);
    TWindowedModeEnd End;
    // A termination request ends the message loop like closing the main window does, so
    // the teardown below stops the painter, writes the settings and releases the guard.
    QSocketNotifier SignalNotifier(Signals.Fd(), QSocketNotifier::Read);
    QObject::connect(&SignalNotifier, &QSocketNotifier::activated, &Application, [&] {
        if (Signals.Received() != 0)
            TApplication::quit();
    });
    QWidget* MainWindow = SaverMode == smSaver ? StartSaverMode() : StartConfigureMode();
    if (!MainWindow)
        return;
    if (!MainWindow->isVisible())
        MainWindow->show();
    Application.exec();
}
} // namespace

int YstreloMain(int Argc, char** Argv) {
    if (!AcquireInstance())
        return ExitOk;
    TInstanceRelease Release;
    try {
        const TCommandLine Line = ParseCommandLine(std::vector<std::string>(Argv + 1, Argv + Argc));
        SaverMode = Line.Mode;
        PreviewWindow = Line.PreviewWindow;
        // The preview sets up nothing of the toolkit: no application object, no title.
        // Unrecognised arguments show nothing, so they need no toolkit either (and then
        // end quietly also where no display can be opened).
        if (SaverMode == smPreview)
            RunPreview();
        else if (SaverMode != smNone)
            RunWindowedMode(Argc, Argv);
    } catch (const std::exception& Error) {
        std::cerr << "ystrelo: " << Error.what() << std::endl;
        return ExitFailure;
    }
    return ExitOk;
}
