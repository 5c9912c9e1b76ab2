#include "host/InstanceGuard.h"

#include "host/StartupState.h"

namespace {
constexpr const char* WindowMutexPrefix = "Korvanel-";
// Taken: another holder keeps us out. Unavailable counts as held: without a usable
// folder the program runs unguarded.
bool Taken(std::unique_ptr<TNamedMutex>& Mutex) {
    switch (Mutex->Result()) {
    case TNamedMutex::TResult::Owned:
        return false;
    case TNamedMutex::TResult::AlreadyExists:
        Mutex.reset();
        return true;
    case TNamedMutex::TResult::Unavailable:
        Mutex.reset();
        return false;
    }
    return false;
}
} // namespace

bool AcquireInstance() {
    InstanceMutex = std::make_unique<TNamedMutex>(InstanceMutexName);
    return !Taken(InstanceMutex);
}

TWindowGuard AcquireWindowInstance(const std::string& Window) {
    // The window first: while another copy paints there, our share of the instance guard
    // would only keep the dialog out for nothing.
    if (!WindowMutex)
        WindowMutex = std::make_unique<TNamedMutex>(WindowMutexPrefix + Window);
    if (Taken(WindowMutex))
        return TWindowGuard::WindowTaken;
    InstanceMutex = std::make_unique<TNamedMutex>(InstanceMutexName, TNamedMutex::TMode::Shared);
    // The window stays ours while we wait for the dialog or the saver to end: it is this
    // copy that will paint there.
    if (Taken(InstanceMutex))
        return TWindowGuard::InstanceTaken;
    return TWindowGuard::Held;
}

void ReleaseWindowInstance() {
    WindowMutex.reset();
}

void ReleaseInstance() {
    WindowMutex.reset();
    InstanceMutex.reset();
}
