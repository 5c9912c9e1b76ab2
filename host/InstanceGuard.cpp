#include "host/InstanceGuard.h"

#include "host/StartupState.h"

bool AcquireInstance() {
    InstanceMutex = std::make_unique<TNamedMutex>(InstanceMutexName);
    switch (InstanceMutex->Result()) {
    case TNamedMutex::TResult::Owned:
        return true;
    case TNamedMutex::TResult::AlreadyExists:
        InstanceMutex.reset();
        return false;
    case TNamedMutex::TResult::Unavailable:
        InstanceMutex.reset();
        return true;
    }
    return true;
}

void ReleaseInstance() {
    InstanceMutex.reset();
}
