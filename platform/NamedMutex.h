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
class TNamedMutex {
public:
    enum class TResult {
        Owned,         // this object holds the name
        AlreadyExists, // another holder (another process or object) keeps us out
        Unavailable    // no lock could be made at all (no usable folder, ...)
    };
    enum class TMode { Exclusive, Shared };
    // What becomes of the lock's file: kept for ever (a name used again and again), or
    // removed by its holder on release (one of many short-lived names; exclusive only).
    enum class TFile { Keep, Remove };

    // Tries to take the name at once.
    explicit TNamedMutex(const std::string& Name, TMode Mode = TMode::Exclusive,
                         TFile File = TFile::Keep);
    ~TNamedMutex();

    TNamedMutex(const TNamedMutex&) = delete;
    TNamedMutex& operator=(const TNamedMutex&) = delete;

    TResult Result() const { return FResult; }
    // Gives the name up; harmless when not owned or already released.
    void Release();

    // Where the lock of Name lives: $XDG_RUNTIME_DIR/Name when that is an absolute path,
    // otherwise /tmp/Name-<uid> (screen-saver hosts often start us without a session).
    static std::string LockPath(const std::string& Name, const char* RuntimeDir, uid_t User);

private:
    void Take(TMode Mode);

    std::string FPath;
    TFile FKeep;
    int FFile = -1;
    // A file removed on release is removed on an abrupt end too, while it is ours.
    std::optional<TAbruptEndFile> FRemoveOnEnd;
    TResult FResult = TResult::Unavailable;
};
