#pragma once

#include "config/AbstractStore.h"

// Holds a store open for one scope.
class TStoreSession {
public:
    explicit TStoreSession(TAbstractStore& Store) : FStore(Store) { FStore.OpenStore(); }
    ~TStoreSession() { FStore.CloseStore(); }
    TStoreSession(const TStoreSession&) = delete;
    TStoreSession& operator=(const TStoreSession&) = delete;

private:
    TAbstractStore& FStore;
};
