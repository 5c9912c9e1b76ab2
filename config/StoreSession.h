#pragma once

#include "config/AbstractStore.h"
#include "config/RunAll.h"

#include <functional>

// Holds a store open for one scope. Close ends the session and, for the outermost one,
// writes its changes; a session left without Close (an error is on its way) drops them,
// since a destructor must not raise.
class TStoreSession {
public:
    explicit TStoreSession(TAbstractStore& Store) : FStore(Store) { FStore.OpenStore(); }
    ~TStoreSession() {
        if (FOpen)
            FStore.AbandonStore();
    }
    TStoreSession(const TStoreSession&) = delete;
    TStoreSession& operator=(const TStoreSession&) = delete;

    void Close() {
        FOpen = false;
        FStore.CloseStore();
    }

    // Action in one session of Store. What Action wrote before it failed still goes out
    // with the session; the first error is raised.
    static void Run(TAbstractStore& Store, const std::function<void()>& Action) {
        TStoreSession Session(Store);
        RunAll({Action, [&Session] { Session.Close(); }});
    }

private:
    TAbstractStore& FStore;
    bool FOpen = true;
};
