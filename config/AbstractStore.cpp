#include "config/AbstractStore.h"

#include "platform/Checked.h"

TAbstractStore::TAbstractStore(QObject* Owner) : QObject(Owner) {}

void TAbstractStore::OpenStore() {
    const auto Count = CheckedAdd(FOpenCount, 1);
    if (FOpenCount == 0)
        DoOpen();
    FOpenCount = Count;
}

void TAbstractStore::CloseStore() {
    if (FOpenCount == 0 || --FOpenCount > 0)
        return;
    DoClose();
}

void TAbstractStore::AbandonStore() noexcept {
    if (FOpenCount == 0 || --FOpenCount > 0)
        return;
    DoAbandon();
}
