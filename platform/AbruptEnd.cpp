#include "platform/AbruptEnd.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unistd.h>
#include <vector>

namespace {
// Process-wide by nature: whichever thread ends the process must see every file.
struct TRegistry {
    std::mutex Lock;
    std::vector<std::string> Paths;
};

TRegistry& Registry() {
    static TRegistry Instance;
    return Instance;
}
} // namespace

TAbruptEndFile::TAbruptEndFile(std::string Path) : FPath(std::move(Path)) {
    const std::lock_guard Hold(Registry().Lock);
    Registry().Paths.push_back(FPath);
}

TAbruptEndFile::~TAbruptEndFile() {
    const std::lock_guard Hold(Registry().Lock);
    Forget();
}

void TAbruptEndFile::Remove() {
    const std::lock_guard Hold(Registry().Lock);
    unlink(FPath.c_str());
    Forget();
}

void TAbruptEndFile::Forget() {
    auto& Paths = Registry().Paths;
    const auto Found = std::find(Paths.begin(), Paths.end(), FPath);
    if (Found != Paths.end())
        Paths.erase(Found);
}

void EndAbruptly(int ExitCode, const std::string& Line) {
    // Never unlocked: a holder must not remove its file after us, when another process
    // may hold the name anew.
    Registry().Lock.lock();
    for (const std::string& Path : Registry().Paths)
        unlink(Path.c_str());
    if (!Line.empty())
        std::fprintf(stderr, "ystrelo: %s\n", Line.c_str());
    std::fflush(stderr);
    std::_Exit(ExitCode);
}
