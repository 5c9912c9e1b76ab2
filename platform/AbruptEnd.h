#pragma once

#include <string>

// The one way the process ends without unwinding: a lost X server (Qt's X11 platform
// cannot go on) or a server that does not answer after a termination request. Nothing
// is torn down, but what would outlast us is cleared first: the files that their
// holders remove on release.
[[noreturn]] void EndAbruptly(int ExitCode, const std::string& Line);

// While it lives, Path is removed if the process ends abruptly. Any thread.
//
// A lock file held shared (HeldShared: the descriptor of our lock) is removed only by
// its last holder: the removal first takes the lock exclusively, without waiting, and
// leaves the file to the other holders when that fails.
class TAbruptEndFile {
public:
    explicit TAbruptEndFile(std::string Path, int HeldShared = -1);
    // Forgets the file, which stays.
    ~TAbruptEndFile();

    TAbruptEndFile(const TAbruptEndFile&) = delete;
    TAbruptEndFile& operator=(const TAbruptEndFile&) = delete;

    // Removes the file now and forgets it, as one step against an abrupt end: the name
    // is never removed twice, when another process may already hold it anew.
    void Remove();

private:
    void Forget();

    std::string FPath;
    int FShared;
};
