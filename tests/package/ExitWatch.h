#pragma once

// How processes that are not our children end. A host reaps the copies it starts itself,
// so neither waitpid nor a subreaper ever sees their exit status; a tracer does: each
// watched process stops once on its way out (PTRACE_EVENT_EXIT) with the status its
// parent is about to read, and goes on at once.

#include <chrono>
#include <map>
#include <optional>
#include <sys/types.h>

class TExitWatch {
public:
    TExitWatch() = default;
    TExitWatch(const TExitWatch&) = delete;
    TExitWatch& operator=(const TExitWatch&) = delete;
    // Lets go of every process still watched.
    ~TExitWatch();

    // False when the process cannot be traced (gone already, or no privilege).
    bool Watch(pid_t Pid);
    // Serves the watched processes' stops: passes signals on, records exits. Call often;
    // a watched process waits in its stop until this runs.
    void Poll();
    // The raw wait status once the process has ended.
    std::optional<int> Status(pid_t Pid) const;
    std::optional<std::chrono::steady_clock::time_point> EndedAt(pid_t Pid) const;
    std::size_t Ended() const;

private:
    struct TEnd {
        int Status;
        std::chrono::steady_clock::time_point At;
    };
    std::map<pid_t, std::optional<TEnd>> FWatched;
};
