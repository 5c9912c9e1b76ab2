#include "platform/SignalWatch.h"

#include "platform/AbruptEnd.h"
#include "platform/Errors.h"

#include <cerrno>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {
// The mask the process was started with, for the processes it starts in turn: a child
// that inherited our blocked SIGTERM would outlive us until SIGKILL.
sigset_t GivenMask;
std::once_flag ChildrenReset;

void ResetChild() {
    // Only async-signal-safe calls: this runs in the child of a fork.
    pthread_sigmask(SIG_SETMASK, &GivenMask, nullptr);
    struct sigaction Default {};
    Default.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &Default, nullptr);
}
} // namespace

TSignalWatch::TSignalWatch(std::initializer_list<int> Signals, std::chrono::milliseconds OwnGrace)
    : FGrace(OwnGrace) {
    std::call_once(ChildrenReset, [] {
        pthread_sigmask(SIG_BLOCK, nullptr, &GivenMask);
        pthread_atfork(nullptr, nullptr, ResetChild);
    });
    sigset_t Set;
    sigemptyset(&Set);
    for (int Signal : Signals)
        sigaddset(&Set, Signal);
    if (pthread_sigmask(SIG_BLOCK, &Set, nullptr) != 0)
        throw EYstreloError("cannot block signals");
    FSignals = signalfd(-1, &Set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (FSignals < 0)
        throw EYstreloError("cannot watch signals");
    FWatcher = std::thread([this] { Watch(); });
}

TSignalWatch::~TSignalWatch() {
    {
        const std::lock_guard Hold(FLock);
        FStopping = true;
    }
    FChanged.notify_all();
    FStop.Notify();
    FWatcher.join();
    // The mask stays as it is: unblocking would deliver a signal that arrived after the
    // last read with its default action and turn a clean end into a killed process. The
    // owner ends the process right after.
    close(FSignals);
}

int TSignalWatch::Received() {
    FArrived.Clear();
    const std::lock_guard Hold(FLock);
    return FReceived;
}

void TSignalWatch::SetLastResort(int ExitCode, std::string Line) {
    const std::lock_guard Hold(FLock);
    FLastResortCode = ExitCode;
    FLastResortLine = std::move(Line);
}

void TSignalWatch::Watch() {
    // Parked in poll until the first signal or the owner's stop.
    signalfd_siginfo Info{};
    for (;;) {
        pollfd Files[] = {{FSignals, POLLIN, 0}, {FStop.Fd(), POLLIN, 0}};
        if (poll(Files, 2, -1) < 0 && errno != EINTR)
            return;
        if (Files[1].revents)
            return;
        if (read(FSignals, &Info, sizeof Info) == static_cast<ssize_t>(sizeof Info))
            break;
    }
    std::unique_lock Hold(FLock);
    // Later signals stay pending unread: the first one decides, and the grace period runs
    // from it.
    FReceived = static_cast<int>(Info.ssi_signo);
    FArrived.Notify();
    if (FChanged.wait_for(Hold, FGrace, [this] { return FStopping; }))
        return;
    EndAbruptly(FLastResortCode, FLastResortLine);
}

void SignalWhenParentEnds(int Signal, pid_t Parent) {
    prctl(PR_SET_PDEATHSIG, Signal);
    // A parent that ended before the call above never sends it.
    if (getppid() != Parent)
        kill(getpid(), Signal);
}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}
