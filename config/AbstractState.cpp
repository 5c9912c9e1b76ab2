#include "config/AbstractState.h"

#include "config/Form.h"
#include "config/RunAll.h"
#include "config/StoreSession.h"

#include <exception>

// Each hook runs the handler it found before or after its own action, as the form event
// asks, and both run even when the first fails: one state object that cannot save must
// not keep the others from saving. The first error goes on to the form. A hook keeps only
// a guarded pointer to its state object: once that is gone the hook just passes the event
// on, so state objects may die in any order without breaking the chain of those that
// remain.
struct TAbstractState::TCreateHook {
    QPointer<TAbstractState> State;
    const TAbstractState* Identity;
    TForm::TNotifyEvent Previous;

    void operator()(QObject* Sender) const {
        RunAll({[&] {
                    if (Previous)
                        Previous(Sender);
                },
                [&] {
                    if (State)
                        State->FormCreate();
                }});
    }
};

struct TAbstractState::TCloseQueryHook {
    QPointer<TAbstractState> State;
    const TAbstractState* Identity;
    TForm::TCloseQueryEvent Previous;

    void operator()(QObject* Sender, bool& CanClose) const {
        RunAll({[&] {
                    if (Previous)
                        Previous(Sender, CanClose);
                },
                [&] {
                    if (State)
                        State->FormCloseQuery(CanClose);
                }});
    }
};

struct TAbstractState::TDestroyHook {
    QPointer<TAbstractState> State;
    const TAbstractState* Identity;
    TForm::TNotifyEvent Previous;

    void operator()(QObject* Sender) const {
        RunAll({[&] {
                    if (State)
                        State->FormDestroy();
                },
                [&] {
                    if (Previous)
                        Previous(Sender);
                }});
    }
};

TAbstractState::TAbstractState(QObject* Owner) : QObject(Owner) {}

TAbstractState::~TAbstractState() {
    DetachFromForm();
}

TForm* TAbstractState::Form() const {
    return FForm;
}

void TAbstractState::SetStorage(TAbstractStore* Value) {
    if (Value == FStorage)
        return;
    FStorage = Value;
}

void TAbstractState::RestoreState() {
    FSaved = false;
    if (FStorage) {
        try {
            TStoreSession::Run(*FStorage, [this] { DoRestore(*FStorage); });
        } catch (const std::exception&) {
            // Deliberately silent: see the declaration.
        }
    }
    FRestored = true;
    if (auto Handler = OnRestoreState)
        Handler(this);
}

void TAbstractState::SaveState() {
    // An active object that never restored holds design-time values only; writing them
    // would overwrite the user's settings.
    if (!FRestored && FActive)
        return;
    if (FStorage)
        TStoreSession::Run(*FStorage, [this] { DoSave(*FStorage); });
    if (auto Handler = OnSaveState)
        Handler(this);
    FSaved = true;
}

void TAbstractState::Loaded() {
    if (FLoaded)
        return;
    FLoaded = true;
    AttachToForm();
}

void TAbstractState::LoadOwned(QObject* Owner) {
    // Direct children in creation order, so that state objects chain in that order.
    for (auto* State : Owner->findChildren<TAbstractState*>(Qt::FindDirectChildrenOnly))
        if (!State->IsLoaded())
            State->Loaded();
}

void TAbstractState::AttachToForm() {
    QObject* Holder = parent();
    while (Holder && !qobject_cast<TForm*>(Holder))
        Holder = Holder->parent();
    FForm = qobject_cast<TForm*>(Holder);
    if (!FForm)
        return;
    FForm->OnCreate = TCreateHook{this, this, FForm->OnCreate};
    FForm->OnCloseQuery = TCloseQueryHook{this, this, FForm->OnCloseQuery};
    FForm->OnDestroy = TDestroyHook{this, this, FForm->OnDestroy};
    // A form's children outlive its handler fields; from then on hands off.
    connect(FForm, &TForm::Destroying, this, [this] { FForm = nullptr; });
}

void TAbstractState::DetachFromForm() {
    if (!FForm)
        return;
    // Give back what we found where we are still the newest hook; deeper in the chain our
    // hook stays and passes events on.
    if (auto* Hook = FForm->OnCreate.target<TCreateHook>(); Hook && Hook->Identity == this)
        FForm->OnCreate = Hook->Previous;
    if (auto* Hook = FForm->OnCloseQuery.target<TCloseQueryHook>(); Hook && Hook->Identity == this)
        FForm->OnCloseQuery = Hook->Previous;
    if (auto* Hook = FForm->OnDestroy.target<TDestroyHook>(); Hook && Hook->Identity == this)
        FForm->OnDestroy = Hook->Previous;
    FForm = nullptr;
}

void TAbstractState::FormCreate() {
    if (FActive)
        RestoreState();
}

void TAbstractState::FormCloseQuery(bool CanClose) {
    if (CanClose && FActive && FForm && FForm->testAttribute(Qt::WA_WState_Created))
        SaveState();
}

void TAbstractState::FormDestroy() {
    if (FActive && !FSaved)
        SaveState();
}
