#include "host/EntryPoint.h"

#include "host/Application.h"
#include "host/CommandLine.h"
#include "host/HostWindow.h"
#include "host/InstanceGuard.h"
#include "host/Preview.h"
#include "host/SaverStartup.h"
#include "host/StartupState.h"
#include "platform/Errors.h"
#include "platform/SignalWatch.h"
#include "platform/qt/QtMessages.h"
#include "platform/qt/X11Display.h"

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>

namespace {
constexpr int ExitOk = 0;
constexpr int ExitFailure = 1;
// Where a screen-saver host names the window a display mode is to draw into.
constexpr const char* HostWindowVariable = "XSCREENSAVER_WINDOW";

// Releases the single-instance guard on every way out.
struct TInstanceRelease {
    ~TInstanceRelease() { ReleaseInstance(); }
};

// The windowed modes' teardown also runs when their start-up failed.
struct TWindowedModeEnd {
    ~TWindowedModeEnd() { EndWindowedMode(); }
};

bool Set(const char* Name) {
    const char* Value = std::getenv(Name);
    return Value && *Value;
}

// Qt aborts the process when it finds no display; say so in one line instead. Only the
// X11 platform is tried out beforehand: another one (tests run offscreen) is Qt's to open.
void RequireDisplay() {
    const char* Platform = std::getenv("QT_QPA_PLATFORM");
    if (Platform && *Platform && std::string(Platform).rfind("xcb", 0) != 0)
        return;
    if (Set("DISPLAY")) {
        const TX11Display Probe; // raises when the server does not answer
        return;
    }
    if (!Set("WAYLAND_DISPLAY"))
        throw EYstreloError("cannot open a display: DISPLAY is not set");
}

// The window of a host that runs the saver in a window of its own making, if any.
std::optional<TX11Window> HostedWindow() {
    if (SaverMode != smSaver || !Set(HostWindowVariable))
        return std::nullopt;
    return ParseHostWindow(std::getenv(HostWindowVariable));
}

// Saver and configure mode, and the saver inside a host's window (Host set). Returns
// whether the run ended without any error reported.
bool RunWindowedMode(int& Argc, char** Argv, THostWindow* Host) {
    std::optional<TSignalWatch> OwnSignals;
    if (!Host) {
        RequireDisplay();
        // Before the application object: Qt starts threads of its own (the X event
        // reader), and they must inherit the blocked signals, or a signal could kill the
        // process on one of them instead of ending the loop below.
        OwnSignals.emplace(std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP});
    }
    InstallQtMessageFilter(Host != nullptr);
    TApplication Application(
        Argc, Argv, Host ? TApplication::TReport::Hosted : TApplication::TReport::Windowed);
    TWindowedModeEnd End;
    // A termination request ends the message loop like closing the main window does, so
    // the teardown below stops the painter, writes the settings and releases the guard.
    const auto SignalArrived = [&] {
        return Host ? Host->SignalReceived() : OwnSignals->Received() != 0;
    };
    QSocketNotifier SignalNotifier(Host ? Host->SignalFd() : OwnSignals->Fd(),
                                   QSocketNotifier::Read);
    QObject::connect(&SignalNotifier, &QSocketNotifier::activated, &Application, [&] {
        if (SignalArrived())
            TApplication::exit(0);
    });
    // The host's window going (or the server) ends the copy as a signal does.
    std::exception_ptr Lost;
    std::optional<QSocketNotifier> HostNotifier;
    const auto HostGone = [&] {
        try {
            return !Host->StillShown();
        } catch (...) {
            Lost = std::current_exception();
            return true;
        }
    };
    if (Host) {
        HostNotifier.emplace(Host->Display().Fd(), QSocketNotifier::Read);
        QObject::connect(&*HostNotifier, &QSocketNotifier::activated, &Application, [&] {
            if (HostGone())
                TApplication::exit(0);
        });
    }
    QWidget* MainWindow = Host                   ? StartHostedSaverMode(*Host)
                          : SaverMode == smSaver ? StartSaverMode()
                                                 : StartConfigureMode();
    if (!MainWindow)
        return true;
    if (!MainWindow->isVisible())
        MainWindow->show();
    // Whatever arrived while start-up ran is not news to the notifiers any more.
    if (!(Host && HostGone()) && !SignalArrived())
        Application.exec();
    if (Host)
        ReleaseWindowInstance();
    if (Lost)
        std::rethrow_exception(Lost);
    Application.FreeForms();
    return !Application.ErrorsReported();
}

// Preview mode, and the saver inside a host's window: the guards are taken once the
// host shows its window. Returns whether the run ended without error.
bool RunInHostWindow(TX11Window Window, int& Argc, char** Argv) {
    THostWindow Host(Window);
    if (!Host.WaitUntilShown())
        return true;
    if (SaverMode == smPreview) {
        // The preview sets up nothing of the toolkit: no application object, no title.
        RunPreview(Host);
        return true;
    }
    return RunWindowedMode(Argc, Argv, &Host);
}
} // namespace

int YstreloMain(int Argc, char** Argv) {
    IgnoreBrokenPipes();
    TInstanceRelease Release;
    try {
        // Read first, but only acted on once the guard is ours: behind another instance
        // even a faulty command line ends in silence.
        std::exception_ptr LineError;
        TCommandLine Line;
        try {
            Line = ParseCommandLine(std::vector<std::string>(Argv + 1, Argv + Argc));
        } catch (...) {
            LineError = std::current_exception();
        }
        SaverMode = Line.Mode;
        PreviewWindow = Line.PreviewWindow;
        if (const auto Window =
                SaverMode == smPreview ? std::optional(PreviewWindow) : HostedWindow())
            return RunInHostWindow(*Window, Argc, Argv) ? ExitOk : ExitFailure;
        if (!AcquireInstance())
            return ExitOk;
        if (LineError)
            std::rethrow_exception(LineError);
        // Unrecognised arguments show nothing, so they need no toolkit either (and then
        // end quietly also where no display can be opened).
        if (SaverMode != smNone && !RunWindowedMode(Argc, Argv, nullptr))
            return ExitFailure;
    } catch (const std::exception& Error) {
        std::cerr << "ystrelo: " << Error.what() << std::endl;
        return ExitFailure;
    }
    return ExitOk;
}
