#include "host/IdleWatcher.h"

#include "config/IdleControl.h"
#include "host/CommandLine.h"
#include "platform/ErrorLine.h"
#include "platform/Errors.h"
#include "platform/NamedMutex.h"
#include "platform/SignalWatch.h"
#include "platform/qt/QtMessages.h"
#include "platform/session/KdeInhibits.h"
#include "platform/session/MutterIdleSource.h"
#include "platform/session/SaverHosts.h"
#include "platform/session/SessionBus.h"
#include "platform/wayland/WaylandDisplay.h"
#include "platform/wayland/WaylandIdleSource.h"
#include "platform/x11/X11IdleSource.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace {
constexpr const char* SaverSwitch = "/s";
// Our saver has its own grace from the SIGTERM we pass on; ours outlasts it, so that on a
// loaded machine the saver is gone (its settings saved) before we are, never orphaned.
constexpr auto OwnGrace = TSignalWatch::Grace + std::chrono::milliseconds(500);
// Time enough for the event loop to see our own connection's end once the saver has seen
// its own.
constexpr std::chrono::milliseconds LossNoticedWithin{500};

// The desktop's idle clock. A Wayland session never falls back to X11: XWayland's idle
// counter sees only the input of X11 programs. Host is set instead of a source where a
// screen-saver host already keeps the X11 session's idle time.
std::unique_ptr<TIdleSource> OpenSource(std::string& Host) {
    const bool Wayland = TWaylandDisplay::Session();
    if (Wayland)
        if (auto Source = TWaylandIdleSource::Open())
            return Source;
    if (auto Source = TMutterIdleSource::Open())
        return Source;
    if (Wayland)
        throw EYstreloError("the Wayland compositor offers no idle protocol "
                            "(ext-idle-notify-v1 or org_kde_kwin_idle)");
    const char* Display = std::getenv("DISPLAY");
    if (!Display || !*Display)
        throw EYstreloError("cannot open a display: DISPLAY is not set");
    Host = TSaverHosts::Running();
    return Host.empty() ? TX11IdleSource::Open() : nullptr;
}
} // namespace

TIdleWatcher::TIdleWatcher(std::unique_ptr<TIdleSource> Source, std::chrono::milliseconds After,
                           QString Program)
    : FSource(std::move(Source)), FAfter(After), FProgram(std::move(Program)) {
    // The saver's lines (an error, say) belong where the watcher's go: the session's log.
    FSaver.setProcessChannelMode(QProcess::ForwardedChannels);
    FSaver.setInputChannelMode(QProcess::ForwardedInputChannel);
    // Should we end abruptly (SIGKILL, our grace run out), the saver still ends, cleanly.
    FSaver.setChildProcessModifier([Watcher = QCoreApplication::applicationPid()] {
        SignalWhenParentEnds(SIGTERM, pid_t(Watcher));
    });
    connect(&FSaver, &QProcess::finished, this, &TIdleWatcher::SaverEnded);
    connect(&FSaver, &QProcess::errorOccurred, this, [this](QProcess::ProcessError Error) {
        if (Error == QProcess::FailedToStart)
            SaverEnded(-1, QProcess::CrashExit);
    });
    FBackOff.setSingleShot(true);
    connect(&FBackOff, &QTimer::timeout, this, [this] {
        if (FIdleNow && MayStartSaver())
            StartSaver();
    });
    // A video player's inhibit reaches KDE, not us (its screen locker serves
    // org.freedesktop.ScreenSaver). Once it ends, KDE starts the idle time again.
    if (const QDBusConnection Bus = QDBusConnection::sessionBus(); Bus.isConnected())
        FKdeInhibits = std::make_unique<TKdeInhibits>(Bus);
}

TIdleWatcher::~TIdleWatcher() {
    // Only on a way out that skipped Stop: the saver still gets to save its settings.
    if (FSaver.state() != QProcess::NotRunning) {
        FSaver.terminate();
        FSaver.waitForFinished(int(TSignalWatch::Grace.count()));
    }
}

void TIdleWatcher::Start() {
    FSource->Watch(FAfter, {[this] { Idle(); }, [this] { FIdleNow = false; },
                            [this](const std::string& Line) { End(1, Line); },
                            [this](const std::string& Line) { End(0, Line); }});
}

bool TIdleWatcher::MayStartSaver() const {
    // A saver that runs already needs no second one; one that failed waits its turn.
    return !FEnding && !FBackOff.isActive() && FSaver.state() == QProcess::NotRunning &&
           !(FKdeInhibits && FKdeInhibits->Inhibited());
}

void TIdleWatcher::Idle() {
    FIdleNow = true;
    if (MayStartSaver())
        StartSaver();
}

void TIdleWatcher::StartSaver() {
    FSaver.start(FProgram, {SaverSwitch});
}

void TIdleWatcher::SaverEnded(int Code, QProcess::ExitStatus Status) {
    if (FEnding) {
        QCoreApplication::exit(FExitCode);
        return;
    }
    if (Status == QProcess::NormalExit && Code == 0) {
        FNextBackOff = FirstBackOff;
        return;
    }
    // A saver that cannot run (no display it can use, a broken installation) would fail
    // again at once: one line, and a pause that grows while the failures go on.
    const std::string How =
        Status == QProcess::NormalExit ? "ended with exit code " + std::to_string(Code)
        : FSaver.error() == QProcess::FailedToStart
            ? "could not be started (" + FSaver.errorString().toStdString() + ")"
            : "crashed";
    // A saver that lost the display or compositor often tells us before our own connection
    // does; once ours is found gone too, the watcher ends and a back-off line would only
    // mislead. The pause itself starts now, so no saver starts in between.
    QTimer::singleShot(LossNoticedWithin, this,
                       [this, Line = "the saver " + How + "; the next one starts no sooner than " +
                                     std::to_string(FNextBackOff.count()) + " min from now"] {
                           if (!FEnding)
                               WriteErrorLine(Line);
                       });
    FBackOff.start(FNextBackOff);
    FNextBackOff = std::min(FNextBackOff * 2, std::chrono::minutes(LongestBackOff));
}

void TIdleWatcher::Stop() {
    if (FEnding && FSaver.state() != QProcess::NotRunning)
        return;
    FEnding = true;
    if (FSaver.state() != QProcess::NotRunning)
        FSaver.terminate(); // SaverEnded quits the loop once it has saved its settings
    else
        QCoreApplication::exit(FExitCode);
}

void TIdleWatcher::End(int Code, const std::string& Line) {
    if (FEnding)
        return;
    if (!Line.empty())
        WriteErrorLine(Line);
    FExitCode = Code;
    Stop();
}

int RunIdleWatcher(int& Argc, char** Argv, std::optional<std::chrono::seconds> After) {
    if (!After)
        throw EYstreloError(IdleDurationMessage);
    TNamedMutex Guard(IdleMutexName);
    if (Guard.Result() == TNamedMutex::TResult::AlreadyExists)
        return 0;
    Guard.RecordOwner();
    // Before the application object, whose threads must inherit the blocked signals.
    TSignalWatch Signals({SIGTERM, SIGINT, SIGHUP}, OwnGrace);
    NoSessionBusOfOurOwn();
    InstallQtMessageFilter(false);
    QCoreApplication Application(Argc, Argv);
    std::string Host;
    auto Source = OpenSource(Host);
    if (!Source) {
        WriteErrorLine(Host + " already starts a screen saver when this session is idle: choose "
                              "Ystrelo in its settings");
        return 0;
    }
    TIdleWatcher Watcher(std::move(Source), *After, QCoreApplication::applicationFilePath());
    QSocketNotifier SignalNotifier(Signals.Fd(), QSocketNotifier::Read);
    QObject::connect(&SignalNotifier, &QSocketNotifier::activated, &Watcher, [&] {
        if (Signals.Received())
            Watcher.Stop();
    });
    Watcher.Start();
    if (!Signals.Received())
        return Application.exec();
    return 0;
}
