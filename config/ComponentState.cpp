#include "config/ComponentState.h"

#include "config/DataFiler.h"
#include "config/Form.h"
#include "config/Frame.h"

#include <exception>
#include <queue>

TComponentState::TComponentState(QObject* Owner) : TAbstractState(Owner) {}

QStringList TComponentState::StoredProperties() const {
    QStringList Result;
    for (const auto& Entry : FEntries)
        Result << Entry.Text;
    return Result;
}

void TComponentState::SetStoredProperties(const QStringList& Value) {
    FEntries.clear();
    for (const auto& Text : Value)
        FEntries.push_back({Text, {}, {}, false});
    if (IsLoaded())
        BindEntries();
}

QObject* TComponentState::EntryComponent(int Index) const {
    if (Index < 0 || static_cast<std::size_t>(Index) >= FEntries.size())
        return nullptr;
    return FEntries[static_cast<std::size_t>(Index)].Component;
}

void TComponentState::SetOptInProperties(const QStringList& Value) {
    FOptIn = Value;
    for (auto& Entry : FEntries)
        MarkOptIn(Entry);
}

void TComponentState::MarkOptIn(TEntry& Entry) const {
    Entry.OptIn = FOptIn.contains(Entry.Text, Qt::CaseInsensitive);
    if (!Entry.OptIn || !Entry.Component)
        return;
    const auto Property = TDataFiler::FindProperty(*Entry.Component, Entry.PropertyName);
    if (Property.isValid())
        Entry.DesignText = TDataFiler::ValueText(*Entry.Component, Property);
}

bool TComponentState::NeverChosen(const TEntry& Entry, TAbstractStore& Store) const {
    const auto Property = TDataFiler::FindProperty(*Entry.Component, Entry.PropertyName);
    if (!Property.isValid() ||
        TDataFiler::ValueText(*Entry.Component, Property) != Entry.DesignText)
        return false;
    // No value read from a file holds a line break.
    const QString Missing = QStringLiteral("\n");
    return Store.ReadString(FSection, Entry.Component->objectName() + '.' + Property.name(),
                            Missing) == Missing;
}

void TComponentState::Loaded() {
    BindEntries();
    TAbstractState::Loaded();
}

void TComponentState::BindEntries() {
    std::vector<TEntry> Kept;
    for (auto Entry : FEntries) {
        if (!Entry.Bound) {
            Entry.Bound = true;
            const auto Dot = Entry.Text.indexOf('.');
            if (Dot < 0)
                continue;
            const auto ComponentName = TDataFiler::Trim(Entry.Text.left(Dot));
            Entry.PropertyName = TDataFiler::Trim(Entry.Text.mid(Dot + 1));
            if (ComponentName.isEmpty() || Entry.PropertyName.isEmpty())
                continue;
            Entry.Component = FindComponent(ComponentName);
            if (Entry.Component) {
                Entry.Text = Entry.Component->objectName() + '.' + Entry.PropertyName;
                MarkOptIn(Entry);
            }
        }
        if (!Entry.Component)
            continue;
        Entry.Text = Entry.Component->objectName() + '.' + Entry.PropertyName;
        Kept.push_back(Entry);
    }
    FEntries = std::move(Kept);
}

// The owner's components are its descendants up to the next form or frame, which own theirs.
QObject* TComponentState::FindComponent(const QString& Name) const {
    if (!parent())
        return nullptr;
    std::queue<QObject*> Pending;
    Pending.push(parent());
    while (!Pending.empty()) {
        const auto* Holder = Pending.front();
        Pending.pop();
        for (auto* Child : Holder->children()) {
            if (Child->objectName().compare(Name, Qt::CaseInsensitive) == 0)
                return Child;
            if (!qobject_cast<TForm*>(Child) && !qobject_cast<TFrame*>(Child))
                Pending.push(Child);
        }
    }
    return nullptr;
}

void TComponentState::DoRestore(TAbstractStore& Store) {
    BindEntries();
    TDataFiler Filer(Store, FSection);
    // A copy: setting a property runs the control's handlers, which may change our list.
    const auto Entries = FEntries;
    for (const auto& Entry : Entries) {
        if (!Entry.Component)
            continue;
        try {
            Filer.RestoreEntry(*Entry.Component, Entry.PropertyName);
        } catch (const std::exception&) {
            // One bad value costs only its own entry.
        }
    }
}

void TComponentState::DoSave(TAbstractStore& Store) {
    BindEntries();
    TDataFiler Filer(Store, FSection);
    const auto Entries = FEntries;
    for (const auto& Entry : Entries)
        if (Entry.Component && !(Entry.OptIn && NeverChosen(Entry, Store)))
            Filer.SaveEntry(*Entry.Component, Entry.PropertyName);
}
