#include "tests/package/ExitWatch.h"

#include <csignal>
#include <sys/ptrace.h>
#include <sys/wait.h>

namespace {
bool GroupStopSignal(int Signal) {
    return Signal == SIGSTOP || Signal == SIGTSTP || Signal == SIGTTIN || Signal == SIGTTOU;
}
} // namespace

TExitWatch::~TExitWatch() {
    for (auto& [Pid, End] : FWatched) {
        if (End)
            continue;
        // A running tracee cannot be let go: stop it first, then detach in that stop.
        if (ptrace(PTRACE_INTERRUPT, Pid, nullptr, nullptr) != 0)
            continue;
        int Status = 0;
        while (waitpid(Pid, &Status, __WALL) == Pid && WIFSTOPPED(Status)) {
            const int Event = Status >> 16;
            const int Signal = Event == 0 ? WSTOPSIG(Status) : 0;
            if (ptrace(PTRACE_DETACH, Pid, nullptr,
                       reinterpret_cast<void*>(static_cast<long>(Signal))) == 0)
                break;
        }
    }
}

bool TExitWatch::Watch(pid_t Pid) {
    if (ptrace(PTRACE_SEIZE, Pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACEEXIT)) != 0)
        return false;
    FWatched[Pid];
    return true;
}

void TExitWatch::Poll() {
    for (auto& [Pid, End] : FWatched) {
        int Status = 0;
        while (!End && waitpid(Pid, &Status, WNOHANG | __WALL) == Pid) {
            const auto Now = std::chrono::steady_clock::now();
            if (WIFEXITED(Status) || WIFSIGNALED(Status)) {
                End = TEnd{Status, Now};
                break;
            }
            if (!WIFSTOPPED(Status))
                continue;
            const int Event = Status >> 16;
            if (Event == PTRACE_EVENT_EXIT) {
                unsigned long ExitStatus = 0;
                ptrace(PTRACE_GETEVENTMSG, Pid, nullptr, &ExitStatus);
                End = TEnd{static_cast<int>(ExitStatus), Now};
                // Its parent reaps it as it would without us.
                ptrace(PTRACE_DETACH, Pid, nullptr, nullptr);
            } else if (Event == PTRACE_EVENT_STOP && GroupStopSignal(WSTOPSIG(Status))) {
                ptrace(PTRACE_LISTEN, Pid, nullptr, nullptr);
            } else {
                const long Signal = Event == 0 ? WSTOPSIG(Status) : 0;
                ptrace(PTRACE_CONT, Pid, nullptr, reinterpret_cast<void*>(Signal));
            }
        }
    }
}

std::optional<int> TExitWatch::Status(pid_t Pid) const {
    const auto It = FWatched.find(Pid);
    if (It == FWatched.end() || !It->second)
        return std::nullopt;
    return It->second->Status;
}

std::optional<std::chrono::steady_clock::time_point> TExitWatch::EndedAt(pid_t Pid) const {
    const auto It = FWatched.find(Pid);
    if (It == FWatched.end() || !It->second)
        return std::nullopt;
    return It->second->At;
}

std::size_t TExitWatch::Ended() const {
    std::size_t Count = 0;
    for (const auto& [Pid, End] : FWatched)
        Count += End.has_value();
    return Count;
}
