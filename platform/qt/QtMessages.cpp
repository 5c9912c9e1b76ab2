#include "platform/qt/QtMessages.h"

#include "platform/AbruptEnd.h"
#include "platform/x11/X11Display.h"

#include <QString>
#include <QtGlobal>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
// What Qt's X11 platform says just before it calls exit(1) on a broken connection.
constexpr const char* BrokenConnection = "X11 connection broke";
// What Qt's Wayland platform says just before it calls _exit(1): the compositor went away
// ("The Wayland connection broke") or ended our connection for a protocol error ("The
// Wayland connection experienced a fatal error").
constexpr const char* BrokenWaylandConnection = "The Wayland connection";
// Qt's Wayland reader of frame events ends by itself when it finds the connection broken,
// and closes its wake-up pipe; if the process ends (on a termination request, say) before
// the main thread has learnt of the break, Qt's teardown warns that it cannot write to that
// pipe. The connection is as broken as with the warnings above.
constexpr const char* ReaderAlreadyEnded = "Failed to write to the pipe";
// What Qt says when no platform it was asked for could be set up, before it aborts; and
// the warnings that come before it, which say why: a plugin that is not installed (the
// Wayland one, where Qt falls back to X11) or a server that refused the connection. The
// display was opened before the application object is made, and is held until Qt's own
// connection is up, so a refusal now is the server's doing.
constexpr const char* PlatformFailed = "no Qt platform plugin could be initialized";
constexpr const char* PlatformNotLoaded = "Could not load the Qt platform plugin";
constexpr const char* PluginMissing = "Could not find the Qt platform plugin";
constexpr const char* NoConnection = "could not connect to display";
// Qt 6.8's Wayland platform warns, twice, when a compositor's configure of a full-screen
// window leaves its size to the client (zero), as xdg-shell allows and sway does at first;
// Qt then keeps the screen's size, which is what we asked for.
constexpr const char* SizeLeftToClient = "Configure event with maximized or fullscreen state";
// And when a compositor sends a keyboard without a keymap, as the protocol allows (sway
// does when a virtual keyboard such as wtype's goes): keys without a keymap type nothing,
// and the next keymap comes with the next keyboard.
constexpr const char* NoKeymap = "unknown keymap format";
// The category of Qt's X11 platform. A request of its own that fails because the server
// went away (a shared-memory segment for the backing store, say) is reported as a
// warning of this category before the broken connection is noticed.
constexpr const char* XcbCategory = "qt.qpa.xcb";

// Qt's platform is chosen before the application object exists, through the
// environment; the Wayland one is asked for by name.
bool WaylandPlatform() {
    const char* Platform = std::getenv("QT_QPA_PLATFORM");
    return Platform && std::strncmp(Platform, "wayland", 7) == 0;
}

bool ConnectionBroken() {
    xcb_connection_t* Connection = QtConnection();
    return Connection && xcb_connection_has_error(Connection);
}

// Set once on the main thread before the application object exists; read by whichever
// thread Qt reports from.
std::atomic<bool> QuietMessages{false};
// What Qt's start-up warned of, for the one line when no platform could be set up.
std::atomic<bool> PluginNotFound{false};
std::atomic<bool> ConnectionRefused{false};

// The one true line for a platform that could not be set up.
std::string PlatformFailure() {
    if (ConnectionRefused.load())
        return CannotOpenDisplayMessage;
    if (PluginNotFound.load()) {
        const char* Platform = std::getenv("QT_QPA_PLATFORM");
        return std::string("Qt's platform plugin \"") + (Platform ? Platform : "") +
               "\" is not installed";
    }
    return WaylandPlatform() ? LostCompositorMessage : LostDisplayMessage;
}
QtMessageHandler PreviousHandler = nullptr;

void Filter(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    // Dropped: a missing plugin Qt falls back from says nothing to the user, and one it
    // cannot fall back from ends in the line below.
    if (Message.contains(QLatin1String(PluginMissing))) {
        PluginNotFound.store(true);
        return;
    }
    if (Message.contains(QLatin1String(NoConnection))) {
        ConnectionRefused.store(true);
        return;
    }
    if (Message.contains(QLatin1String(PlatformNotLoaded)) ||
        Message.contains(QLatin1String(SizeLeftToClient)) ||
        Message.contains(QLatin1String(NoKeymap)))
        return;
    if (Message.contains(QLatin1String(BrokenWaylandConnection)) ||
        (WaylandPlatform() && Message.contains(QLatin1String(ReaderAlreadyEnded))))
        EndAbruptly(LostDisplayExitCode, LostCompositorMessage);
    if (Message.contains(QLatin1String(PlatformFailed)))
        EndAbruptly(LostDisplayExitCode, PlatformFailure());
    if (Message.contains(QLatin1String(BrokenConnection)))
        EndOnLostDisplay();
    if (Context.category && std::strcmp(Context.category, XcbCategory) == 0 && ConnectionBroken())
        EndOnLostDisplay();
    if (QuietMessages.load(std::memory_order_relaxed) && Type != QtCriticalMsg &&
        Type != QtFatalMsg)
        return;
    if (PreviousHandler)
        PreviousHandler(Type, Context, Message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Context, Message)));
}
} // namespace

void EndOnLostDisplay() {
    EndAbruptly(LostDisplayExitCode, LostDisplayMessage);
}

void InstallQtMessageFilter(bool Quiet) {
    QuietMessages.store(Quiet, std::memory_order_relaxed);
    const QtMessageHandler Previous = qInstallMessageHandler(Filter);
    if (Previous != Filter)
        PreviousHandler = Previous;
}
