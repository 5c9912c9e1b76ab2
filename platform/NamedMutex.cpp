#include "platform/NamedMutex.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t LockFileMode = 0600;
constexpr const char* FallbackFolder = "/tmp/";
} // namespace

std::string TNamedMutex::LockPath(const std::string& Name, const char* RuntimeDir, uid_t User) {
    if (RuntimeDir && RuntimeDir[0] == '/')
        return std::string(RuntimeDir) + "/" + Name;
    return FallbackFolder + Name + "-" + std::to_string(User);
}

TNamedMutex::TNamedMutex(const std::string& Name) {
    const std::string Path = LockPath(Name, std::getenv("XDG_RUNTIME_DIR"), getuid());
    // O_NOFOLLOW: in the shared /tmp fallback a planted symbolic link must not make us
    // create or lock a file elsewhere.
    FFile = open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, LockFileMode);
    if (FFile < 0)
        return;
    // A file another user planted under our name in /tmp could be held by them to keep
    // us out; we do not honour it and run unguarded instead.
    struct stat Info {};
    if (fstat(FFile, &Info) != 0 || Info.st_uid != getuid() || !S_ISREG(Info.st_mode)) {
        Release();
        return;
    }
    int Status;
    do
        Status = flock(FFile, LOCK_EX | LOCK_NB);
    while (Status != 0 && errno == EINTR);
    if (Status == 0) {
        FResult = TResult::Owned;
        return;
    }
    const bool Held = errno == EWOULDBLOCK;
    Release();
    FResult = Held ? TResult::AlreadyExists : TResult::Unavailable;
}

TNamedMutex::~TNamedMutex() {
    Release();
}

void TNamedMutex::Release() {
    // Closing the only descriptor of the open file drops its lock. The file itself stays:
    // removing it would let a later instance lock a new file while an old one still
    // holds the unlinked one.
    if (FFile >= 0)
        close(FFile);
    FFile = -1;
}
