#pragma once

#include "config/AbstractState.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <vector>

// Keeps chosen properties of the components its owner holds, one entry
// "<component>.<property>" each, in one section of its store.
class TComponentState : public TAbstractState {
    Q_OBJECT
    Q_PROPERTY(QString Section READ Section WRITE SetSection)
    Q_PROPERTY(TAbstractStore* Storage READ Storage WRITE SetStorage)
    Q_PROPERTY(QStringList StoredProperties READ StoredProperties WRITE SetStoredProperties)

public:
    explicit TComponentState(QObject* Owner = nullptr);

    QString Section() const { return FSection; }
    void SetSection(const QString& Value) { FSection = Value; }
    QStringList StoredProperties() const;
    // Entries are bound to their components at once when the owner is loaded already,
    // otherwise when it is.
    void SetStoredProperties(const QStringList& Value);
    // The component an entry is bound to, or none.
    QObject* EntryComponent(int Index) const;
    // Entries of options a user opts into: each is saved only once its key is in the
    // store or its value differs from the one its control had when it was bound, so that
    // files saved by users who never chose the option stay as they were before it came.
    void SetOptInProperties(const QStringList& Value);

    void Loaded() override;

protected:
    void DoRestore(TAbstractStore& Store) override;
    void DoSave(TAbstractStore& Store) override;

private:
    struct TEntry {
        QString Text;
        QString PropertyName;
        QPointer<QObject> Component;
        bool Bound = false;
        bool OptIn = false;
        QString DesignText = {}; // of an opt-in entry: its value when it was bound
    };

    // Binds entries not bound yet and drops those that cannot be bound or whose component
    // is gone; the rest are rewritten with their component's current name.
    void BindEntries();
    QObject* FindComponent(const QString& Name) const;
    void MarkOptIn(TEntry& Entry) const;
    // Whether an opt-in entry is still at its design-time value with no key in the store.
    bool NeverChosen(const TEntry& Entry, TAbstractStore& Store) const;

    QString FSection;
    std::vector<TEntry> FEntries;
    QStringList FOptIn;
};
