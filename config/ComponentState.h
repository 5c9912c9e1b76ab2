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
    };

    // Binds entries not bound yet and drops those that cannot be bound or whose component
    // is gone; the rest are rewritten with their component's current name.
    void BindEntries();
    QObject* FindComponent(const QString& Name) const;

    QString FSection;
    std::vector<TEntry> FEntries;
};
