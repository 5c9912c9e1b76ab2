#pragma once

#include "config/AbstractStore.h"

#include <QObject>
#include <QPointer>

#include <functional>

class TForm;

// A component that restores part of its owner's state from a store and saves it back. Once
// its owner is loaded it hooks into the form above it: restore when the form's creation has
// finished, save when the form may close and, if not saved since, when it is destroyed.
class TAbstractState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TAbstractState(QObject* Owner = nullptr);
    ~TAbstractState() override;

    bool Active() const { return FActive; }
    void SetActive(bool Value) { FActive = Value; }
    TAbstractStore* Storage() const { return FStorage; }
    void SetStorage(TAbstractStore* Value);
    // Restored is never cleared; Saved is cleared by every restore, and when a session
    // ends without its changes reaching the store.
    bool Restored() const { return FRestored; }
    bool Saved() const { return FSaved; }
    // The form whose events this object hooked, while that form lives.
    TForm* Form() const;

    // Problems while restoring are never reported: a missing or odd file leaves the
    // owner's state as it was.
    void RestoreState();
    // Raises when a value cannot be written; the rest of this object's values are skipped.
    // Inside an open session of the store the values go out when the session ends.
    void SaveState();

    // The owner's layout is complete: bind what needs binding and hook into the form.
    virtual void Loaded();
    bool IsLoaded() const { return FLoaded; }
    // Loaded for every state object that Owner holds directly and that is not loaded yet.
    static void LoadOwned(QObject* Owner);

    TNotifyEvent OnSaveState;
    TNotifyEvent OnRestoreState;

protected:
    virtual void DoRestore(TAbstractStore& Store) = 0;
    virtual void DoSave(TAbstractStore& Store) = 0;

private:
    struct TCreateHook;
    struct TCloseQueryHook;
    struct TDestroyHook;

    void AttachToForm();
    void DetachFromForm();
    void FormCreate();
    void FormCloseQuery(bool CanClose);
    void FormDestroy();

    bool FActive = true;
    bool FRestored = false;
    bool FSaved = false;
    bool FLoaded = false;
    QPointer<TAbstractStore> FStorage;
    QPointer<TForm> FForm;
};
