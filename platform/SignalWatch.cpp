#include "platform/SignalWatch.h"

#include "platform/Errors.h"

#include <cerrno>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

TSignalWatch::TSignalWatch(std::initializer_list<int> Signals) {
    sigset_t Set;
    sigemptyset(&Set);
    for (int Signal : Signals)
        sigaddset(&Set, Signal);
    if (pthread_sigmask(SIG_BLOCK, &Set, nullptr) != 0)
        throw EYstreloError("cannot block signals");
    FFile = signalfd(-1, &Set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (FFile < 0)
        throw EYstreloError("cannot watch signals");
}

TSignalWatch::~TSignalWatch() {
    // The mask stays as it is: unblocking would deliver a signal that arrived after the
    // last read with its default action and turn a clean end into a killed process. The
    // owner ends the process right after.
    if (FFile >= 0)
        close(FFile);
}

int TSignalWatch::Received() {
    signalfd_siginfo Info;
    for (;;) {
        const ssize_t Count = read(FFile, &Info, sizeof Info);
        if (Count == static_cast<ssize_t>(sizeof Info)) {
            if (FReceived == 0)
                FReceived = static_cast<int>(Info.ssi_signo);
            continue;
        }
        if (Count < 0 && errno == EINTR)
            continue;
        return FReceived;
    }
}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}
