#include "platform/NamedMutex.h"

#include "platform/Errors.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t LockFileMode = 0600;
constexpr const char* FallbackFolder = "/tmp/";
constexpr const char* RuntimeDirVariable = "XDG_RUNTIME_DIR";
constexpr int MaxRounds = 8;
} // namespace

namespace {
// Only a folder as the session sets it up: ours, and one we can make files in. Any other
// (gone, a file, another user's) would leave every holder unguarded, so it counts as
// unset, and every process of the session still meets in one place.
bool UsableRuntimeDir(const char* RuntimeDir, uid_t User) {
    struct stat Info {};
    return RuntimeDir && RuntimeDir[0] == '/' && ::stat(RuntimeDir, &Info) == 0 &&
           S_ISDIR(Info.st_mode) && Info.st_uid == User && ::access(RuntimeDir, W_OK | X_OK) == 0;
}
} // namespace

std::string TNamedMutex::LockPath(const std::string& Name, const char* RuntimeDir, uid_t User) {
    if (UsableRuntimeDir(RuntimeDir, User))
        return std::string(RuntimeDir) + "/" + Name;
    return FallbackFolder + Name + "-" + std::to_string(User);
}

void TNamedMutex::DropUnusableRuntimeDir() {
    if (const char* RuntimeDir = std::getenv(RuntimeDirVariable);
        RuntimeDir && !UsableRuntimeDir(RuntimeDir, getuid()))
        ::unsetenv(RuntimeDirVariable);
}

TNamedMutex::TNamedMutex(const std::string& Name, TMode Mode)
    : FPath(LockPath(Name, std::getenv(RuntimeDirVariable), getuid())) {
    // The file may be removed by its last holder between our open and our lock; we then
    // hold a lock nobody else can see, and must start again on the new file. Each round
    // means another holder came and went in between, so a few are plenty.
    for (int Round = 0; Round < MaxRounds; ++Round) {
        Take(Mode);
        if (FResult == TResult::Unavailable)
            return;
        const bool Named = StillNamed();
        if (FResult == TResult::Owned && Named) {
            FRemoveOnEnd.emplace(FPath, Mode == TMode::Shared ? FFile : -1);
            return;
        }
        // Not Release: the name now stands for another holder's file.
        close(FFile);
        FFile = -1;
        FResult = TResult::AlreadyExists;
        // Refused by a holder of the file the name still stands for: it is taken. Refused
        // by one removing it on its way out, or owning a removed one: try the new file.
        if (Named)
            return;
    }
}

bool TNamedMutex::StillNamed() const {
    struct stat Held {
    }, Named{};
    return FFile >= 0 && fstat(FFile, &Held) == 0 && lstat(FPath.c_str(), &Named) == 0 &&
           Held.st_dev == Named.st_dev && Held.st_ino == Named.st_ino;
}

void TNamedMutex::Take(TMode Mode) {
    FResult = TResult::Unavailable;
    // O_NOFOLLOW: in the shared /tmp fallback a planted symbolic link must not make us
    // create or lock a file elsewhere.
    FFile = open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, LockFileMode);
    if (FFile < 0)
        return;
    // A file another user planted under our name in /tmp could be held by them to keep
    // us out; we do not honour it and run unguarded instead.
    struct stat Info {};
    if (fstat(FFile, &Info) != 0 || Info.st_uid != getuid() || !S_ISREG(Info.st_mode)) {
        Release();
        return;
    }
    const int Operation = (Mode == TMode::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    int Status;
    do
        Status = flock(FFile, Operation);
    while (Status != 0 && errno == EINTR);
    if (Status == 0) {
        FResult = TResult::Owned;
        return;
    }
    // Held by another: the descriptor stays open for the caller's look at the name.
    FResult = errno == EWOULDBLOCK ? TResult::AlreadyExists : TResult::Unavailable;
    if (FResult == TResult::Unavailable)
        Release();
}

TNamedMutex::~TNamedMutex() {
    Release();
}

void TNamedMutex::Release() {
    // Closing the only descriptor of the open file drops its lock. The file is removed
    // while we still hold it, and only by its last holder (TAbruptEndFile::Remove).
    if (FRemoveOnEnd) {
        FRemoveOnEnd->Remove();
        FRemoveOnEnd.reset();
    }
    if (FFile >= 0)
        close(FFile);
    FFile = -1;
}

void TNamedMutex::RecordOwner() {
    if (FResult != TResult::Owned)
        return;
    const std::string Id = std::to_string(getpid());
    if (ftruncate(FFile, 0) != 0 || pwrite(FFile, Id.data(), Id.size(), 0) != ssize_t(Id.size()))
        throw EYstreloError("cannot write to " + FPath);
}

std::optional<pid_t> TNamedMutex::Owner(const std::string& Name) {
    const std::string Path = LockPath(Name, std::getenv(RuntimeDirVariable), getuid());
    const int File = open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (File < 0)
        return std::nullopt;
    std::optional<pid_t> Result;
    struct stat Info {};
    char Text[16];
    // A file nobody holds is one left by a holder killed outright: its id is stale.
    if (fstat(File, &Info) == 0 && Info.st_uid == getuid() && S_ISREG(Info.st_mode) &&
        flock(File, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        const ssize_t Length = pread(File, Text, sizeof Text, 0);
        pid_t Id = 0;
        if (Length > 0 && std::from_chars(Text, Text + Length, Id).ec == std::errc() && Id > 0)
            Result = Id;
    }
    close(File);
    return Result;
}
