#include "platform/session/ProcessEnd.h"

#include "platform/Errors.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Through syscall: C libraries before glibc 2.36 have no wrappers. The descriptor is
// close-on-exec by the kernel's rule.
int OpenProcess(pid_t Pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0));
}

int SignalProcess(int Handle, int Signal) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, Handle, Signal, nullptr, 0));
}

[[noreturn]] void CannotEnd(pid_t Pid) {
    throw EYstreloError("cannot end process " + std::to_string(Pid) + ": " + std::strerror(errno));
}
} // namespace

TProcessEnd::TProcessEnd(pid_t Pid, std::chrono::milliseconds Limit, QObject* Owner)
    : QObject(Owner) {
    FLimit.setSingleShot(true);
    connect(&FLimit, &QTimer::timeout, this, [this] { Finish(false); });
    FHandle = OpenProcess(Pid);
    if (FHandle < 0) {
        if (errno != ESRCH)
            CannotEnd(Pid);
        // Gone before we looked: told from the loop all the same, as callers expect.
        QMetaObject::invokeMethod(
            this, [this] { Finish(true); }, Qt::QueuedConnection);
        return;
    }
    if (SignalProcess(FHandle, SIGTERM) != 0 && errno != ESRCH) {
        const int Error = errno;
        ::close(FHandle);
        FHandle = -1;
        errno = Error;
        CannotEnd(Pid);
    }
    FNotifier = std::make_unique<QSocketNotifier>(FHandle, QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { Finish(true); });
    FLimit.start(Limit);
}

TProcessEnd::~TProcessEnd() {
    FNotifier.reset();
    if (FHandle >= 0)
        ::close(FHandle);
}

void TProcessEnd::Finish(bool Ended) {
    if (FFinished)
        return;
    FFinished = true;
    FLimit.stop();
    if (FNotifier)
        FNotifier->setEnabled(false);
    emit Finished(Ended);
}
