#include "platform/AbruptEnd.h"
#include "platform/ErrorLine.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace {
// Process-wide by nature: whichever thread ends the process must see every file.
struct TEntry {
    std::string Path;
    int Shared;
    bool operator==(const TEntry&) const = default;
};
struct TRegistry {
    std::mutex Lock;
    std::vector<TEntry> Files;
};

// Under the registry's lock, so that an abrupt end and a release never both decide.
void RemoveIfLast(const TEntry& File) {
    // Converting a shared flock gives ours up before it asks for the exclusive one; we
    // are about to close the descriptor anyway.
    if (File.Shared < 0 || flock(File.Shared, LOCK_EX | LOCK_NB) == 0)
        unlink(File.Path.c_str());
}

TRegistry& Registry() {
    static TRegistry Instance;
    return Instance;
}
} // namespace

TAbruptEndFile::TAbruptEndFile(std::string Path, int HeldShared)
    : FPath(std::move(Path)), FShared(HeldShared) {
    const std::lock_guard Hold(Registry().Lock);
    Registry().Files.push_back({FPath, FShared});
}

TAbruptEndFile::~TAbruptEndFile() {
    const std::lock_guard Hold(Registry().Lock);
    Forget();
}

void TAbruptEndFile::Remove() {
    const std::lock_guard Hold(Registry().Lock);
    RemoveIfLast({FPath, FShared});
    Forget();
}

void TAbruptEndFile::Forget() {
    auto& Files = Registry().Files;
    const auto Found = std::find(Files.begin(), Files.end(), TEntry{FPath, FShared});
    if (Found != Files.end())
        Files.erase(Found);
}

void EndAbruptly(int ExitCode, const std::string& Line) {
    // Never unlocked: a holder must not remove its file after us, when another process
    // may hold the name anew.
    Registry().Lock.lock();
    for (const TEntry& File : Registry().Files)
        RemoveIfLast(File);
    if (!Line.empty())
        WriteErrorLine(Line);
    std::_Exit(ExitCode);
}
