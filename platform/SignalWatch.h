#pragma once

#include "platform/Wakeup.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <initializer_list>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

// Turns the given signals into a readable descriptor, so that an event loop can end
// cleanly on them instead of being killed mid-paint; and makes sure the process does end
// soon after one, even when the loop cannot get there (an X server that stopped answering
// holds Qt, and with it the main thread, for as long as it likes).
//
// The signals are blocked in the calling thread, and threads started later inherit
// that mask; so create the watch on the main thread before any other thread exists, or
// a signal may land on a thread that does not block it and end the process. Processes
// we start get the mask we were given, not ours.
class TSignalWatch {
public:
    // How long the owner has from the first signal to the end of its process; after that
    // the process ends abruptly, as SetLastResort says.
    static constexpr std::chrono::milliseconds Grace{1500};

    explicit TSignalWatch(std::initializer_list<int> Signals,
                          std::chrono::milliseconds OwnGrace = Grace);
    // Stops watching; the grace period no longer runs.
    ~TSignalWatch();

    TSignalWatch(const TSignalWatch&) = delete;
    TSignalWatch& operator=(const TSignalWatch&) = delete;

    // Readable when a watched signal has arrived that Received has not reported yet.
    int Fd() const { return FArrived.Fd(); }
    // The first watched signal that arrived so far, 0 if none; never blocks.
    int Received();
    // What ending past the grace period means: the exit code, and a line for standard
    // error (none when empty). Until set: 0 and no line. Any thread.
    void SetLastResort(int ExitCode, std::string Line);

private:
    void Watch();

    const std::chrono::milliseconds FGrace;
    int FSignals = -1;
    TWakeup FArrived;
    TWakeup FStop;
    std::mutex FLock;
    std::condition_variable FChanged;
    // Under FLock.
    int FReceived = 0;
    bool FStopping = false;
    int FLastResortCode = 0;
    std::string FLastResortLine;
    // Started last, stopped first.
    std::thread FWatcher;
};

// For a child between fork and exec (only async-signal-safe calls): it gets Signal when
// Parent ends, however abruptly, even when Parent ended before this call.
void SignalWhenParentEnds(int Signal, pid_t Parent);

// Writes to a connection whose other end has gone (an X server that died) fail with an
// error to handle instead of killing the process with SIGPIPE.
void IgnoreBrokenPipes();
