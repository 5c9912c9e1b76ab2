#include "host/EntryPoint.h"

#include "host/Application.h"
#include "host/CommandLine.h"
#include "host/HostWindow.h"
#include "host/IdleWatcher.h"
#include "host/InstanceGuard.h"
#include "host/Preview.h"
#include "host/SaverStartup.h"
#include "host/StartupState.h"
#include "platform/ErrorLine.h"
#include "platform/Errors.h"
#include "platform/SignalWatch.h"
#include "platform/qt/QtMessages.h"
#include "platform/session/SessionBus.h"
#include "platform/wayland/WaylandDisplay.h"
#include "platform/x11/X11Display.h"

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <xcb/xcb.h>

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
    return std::getenv(Name) && *std::getenv(Name);
}

// What the saver with windows of its own and the dialog say when a termination request
// finds the display server not answering: they end without it, and so without saving.
constexpr const char* UnsavedEndX11 =
    "the X server does not answer: ended without saving the settings";
constexpr const char* UnsavedEndWayland =
    "the Wayland compositor does not answer: ended without saving the settings";

// In a Wayland session the saver and the dialog are Wayland programs of their own, unless
// the user chose a platform: through XWayland, sway and its kind put every window on the
// focused output and ignore where we place them. Qt's X11 platform stays the fallback for
// an installation without Qt's Wayland plugin.
constexpr const char* NativePlatform = "wayland;xcb";
constexpr const char* X11Platform = "xcb";

void ChooseWindowPlatform() {
    if (!Set("QT_QPA_PLATFORM") && TWaylandDisplay::Session())
        setenv("QT_QPA_PLATFORM", NativePlatform, 1);
}

bool StartsWith(const char* Text, const char* Prefix) {
    return std::string(Text).rfind(Prefix, 0) == 0;
}

// Whether Qt is to run on Wayland: the user's choice or ours.
bool OnWayland() {
    const char* Platform = std::getenv("QT_QPA_PLATFORM");
    return Platform && StartsWith(Platform, "wayland");
}

// Qt aborts the process when it finds no display; say so in one line instead. Only the
// platforms of a desktop are tried out beforehand: another one (tests run offscreen) is
// Qt's to open. On Wayland no X connection is made at all: on most compositors one
// would start XWayland.
//
// The X connection is kept in Probe until Qt's own is up. An X server whose last client
// leaves resets itself, and refuses the connections that arrive meanwhile; the saver is
// often the only client of the server it starts on (a bare X session, Xvfb), so a probe
// closed before Qt connects made Qt's connection fail now and then, and more often the
// busier the machine, as the reset then takes longer.
void RequireDisplay(std::optional<TX11Display>& Probe) {
    if (OnWayland()) {
        const TWaylandDisplay Compositor; // raises when no compositor answers
        return;
    }
    const char* Platform = std::getenv("QT_QPA_PLATFORM");
    if (Platform && *Platform && !StartsWith(Platform, X11Platform))
        return;
    if (Set("DISPLAY")) {
        Probe.emplace(); // raises when the server does not answer
        // Qt paints nothing on a screen of 256 colours, and says so with every paint.
        if (!Probe->TrueColour(Probe->DefaultRoot()))
            throw EYstreloError("the X screen's visual is not a true-colour visual");
        return;
    }
    throw EYstreloError("cannot open a display: DISPLAY is not set");
}

// The window a copy paints into, when the arguments or a host name one: preview mode,
// and the saver inside a host's window. Empty inside: the root window of the screen.
struct TTarget {
    std::optional<TX11Window> Window;
};
std::optional<TTarget> TargetWindow(const TCommandLine& Line) {
    if (Line.Mode != smSaver && Line.Mode != smPreview)
        return std::nullopt;
    if (Line.HostOption == THostOption::WindowId)
        return TTarget{Line.WindowId};
    if (Line.Mode == smPreview && Line.PreviewHandle)
        return TTarget{Line.PreviewWindow};
    if (Set(HostWindowVariable))
        return TTarget{ParseHostWindow(std::getenv(HostWindowVariable))};
    if (Line.HostOption == THostOption::Root)
        return TTarget{};
    return std::nullopt;
}

// Saver and configure mode, and the saver inside a host's window (Host set). Returns
// whether the run ended without any error reported.
bool RunWindowedMode(int& Argc, char** Argv, THostWindow* Host) {
    std::optional<TSignalWatch> OwnSignals;
    std::optional<TX11Display> Probe;
    if (!Host) {
        ChooseWindowPlatform();
        RequireDisplay(Probe);
        // Before the application object: Qt starts threads of its own (the X event
        // reader), and they must inherit the blocked signals, or a signal could kill the
        // process on one of them instead of ending the loop below.
        OwnSignals.emplace(std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP});
        OwnSignals->SetLastResort(ExitFailure, OnWayland() ? UnsavedEndWayland : UnsavedEndX11);
    }
    NoSessionBusOfOurOwn();
    InstallQtMessageFilter(Host != nullptr);
    TApplication Application(
        Argc, Argv, Host ? TApplication::TReport::Hosted : TApplication::TReport::Windowed);
    Probe.reset();
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
    // The settings are written: from here on a server that does not answer loses nothing.
    if (OwnSignals)
        OwnSignals->SetLastResort(ExitOk, "");
    return !Application.ErrorsReported();
}

// Preview mode, and the saver inside a host's window: the guards are taken once the
// host shows its window. Returns whether the run ended without error.
bool RunInHostWindow(const TTarget& Target, int& Argc, char** Argv) {
    THostWindow Host(Target.Window);
    if (!Host.WaitUntilShown())
        return true;
    if (SaverMode == smPreview) {
        PreviewWindow = Host.Window();
        // The preview sets up nothing of the toolkit: no application object, no title.
        RunPreview(Host);
        return true;
    }
    // What /p finds out while it sets up its window, Qt would find out by painting
    // nothing and saying so again and again.
    TX11Display& Display = Host.Display();
    if (!Display.TrueColour(Host.Window()) ||
        !Display.TrueColour(Display.ScreenOf(Host.Window())->root))
        throw EYstreloError("the window's visual is not a true-colour visual");
    // Qt makes its windows on the screen $DISPLAY names, and a window can only be the
    // child of a window of its own screen.
    setenv("DISPLAY", Display.DisplayNameFor(Host.Window()).c_str(), 1);
    // A window of ours can be the child of an X window only on Qt's X11 platform, which
    // Qt would not pick by itself in a Wayland session.
    if (!Set("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", X11Platform, 1);
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
        // The watcher has a guard of its own and keeps out none of the other modes.
        if (Line.Idle)
            return RunIdleWatcher(Argc, Argv, Line.IdleAfter);
        SaverMode = Line.Mode;
        PreviewWindow = Line.PreviewWindow;
        if (const auto Target = TargetWindow(Line))
            return RunInHostWindow(*Target, Argc, Argv) ? ExitOk : ExitFailure;
        if (!AcquireInstance())
            return ExitOk;
        if (LineError)
            std::rethrow_exception(LineError);
        // Unrecognised arguments show nothing, so they need no toolkit either (and then
        // end quietly also where no display can be opened).
        if (SaverMode != smNone && !RunWindowedMode(Argc, Argv, nullptr))
            return ExitFailure;
    } catch (const std::exception& Error) {
        WriteErrorLine(Error.what());
        return ExitFailure;
    }
    return ExitOk;
}
