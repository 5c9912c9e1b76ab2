#pragma once

#include <csignal>
#include <initializer_list>

// Turns the given signals into readable events on a descriptor (signalfd), so that an
// event loop can end cleanly on them instead of being killed mid-paint.
//
// The signals are blocked in the calling thread, and threads started later inherit
// that mask; so create the watch on the main thread before any other thread exists, or
// a signal may land on a thread that does not block it and end the process.
class TSignalWatch {
public:
    explicit TSignalWatch(std::initializer_list<int> Signals);
    ~TSignalWatch();

    TSignalWatch(const TSignalWatch&) = delete;
    TSignalWatch& operator=(const TSignalWatch&) = delete;

    // Readable when a watched signal is pending.
    int Fd() const { return FFile; }
    // The first watched signal that arrived so far, 0 if none; never blocks.
    int Received();

private:
    int FFile = -1;
    int FReceived = 0;
};

// Writes to a connection whose other end has gone (an X server that died) fail with an
// error to handle instead of killing the process with SIGPIPE.
void IgnoreBrokenPipes();
