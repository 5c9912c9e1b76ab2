#pragma once

#include "platform/AbruptEnd.h"

#include <optional>
#include <string>
#include <sys/types.h>

// A per-user, system-wide named mutex: an advisory lock on a file of that name. The
// kernel drops the lock when the process ends in any way, so a crash never leaves the
// name taken. The owner never waits for it: taking it either succeeds at once or not.
//
// A name is held exclusively, or shared with other shared holders: an exclusive holder
// keeps out everyone, a shared holder only exclusive ones.
//
// The file goes with its last holder, on release and on an abrupt end alike: nothing is
// left behind in the runtime folder or /tmp. Every taker checks after locking that the
// name still stands for the file it locked, so a file removed between another taker's
// open and its lock is never mistaken for the lock.
class TNamedMutex {
public:
    enum class TResult {
        Owned,         // this object holds the name
        AlreadyExists, // another holder (another process or object) keeps us out
        Unavailable    // no lock could be made at all (no usable folder, ...)
    };
    enum class TMode { Exclusive, Shared };

    // Tries to take the name at once.
    explicit TNamedMutex(const std::string& Name, TMode Mode = TMode::Exclusive);
    ~TNamedMutex();

    TNamedMutex(const TNamedMutex&) = delete;
    TNamedMutex& operator=(const TNamedMutex&) = delete;

    TResult Result() const { return FResult; }
    // Gives the name up; harmless when not owned or already released.
    void Release();

    // An exclusive holder writes its process id into the file, so that another program
    // (the dialog, for the idle watcher) can find and end it.
    void RecordOwner();
    // The process that holds Name and recorded itself; nothing when the name is free or
    // its holder recorded nothing.
    static std::optional<pid_t> Owner(const std::string& Name);

    // Where the lock of Name lives: RuntimeDir/Name when RuntimeDir ($XDG_RUNTIME_DIR) is
    // the absolute path of a folder of User's that they can write in, otherwise
    // /tmp/Name-<uid> (screen-saver hosts often start us without a session).
    static std::string LockPath(const std::string& Name, const char* RuntimeDir, uid_t User);
    // Takes a $XDG_RUNTIME_DIR that LockPath would not use out of the environment. Qt makes
    // a runtime folder that is missing, and gives one of ours the mode it lacks: a process
    // started after that would take its guards there, apart from those held in /tmp.
    // Unset, it is the same to us, the toolkit and every process we start. Call first.
    static void DropUnusableRuntimeDir();

private:
    void Take(TMode Mode);
    // Whether FPath still names the file we opened.
    bool StillNamed() const;

    std::string FPath;
    int FFile = -1;
    // Removed on release, or on an abrupt end while it is ours.
    std::optional<TAbruptEndFile> FRemoveOnEnd;
    TResult FResult = TResult::Unavailable;
};
