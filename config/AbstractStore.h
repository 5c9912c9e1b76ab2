#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

// Somewhere that state objects keep strings by section and key. Open requests nest into
// one session: the backing object exists from the first open to the last close, serves
// every read and write in between, and the last close writes what they changed at once.
class TAbstractStore : public QObject {
    Q_OBJECT

public:
    explicit TAbstractStore(QObject* Owner = nullptr);

    void OpenStore();
    // Not below zero: a stray close is harmless. The last close writes the session's
    // changes and raises when it cannot; the store is closed all the same.
    void CloseStore();
    // Like CloseStore, but the last one drops the session's changes instead of writing
    // them; for a session that ends because an error is on its way. Never raises.
    void AbandonStore() noexcept;
    std::int32_t OpenCount() const { return FOpenCount; }

    virtual QString ReadString(const QString& Section, const QString& Key,
                               const QString& Default) = 0;
    virtual void WriteString(const QString& Section, const QString& Key, const QString& Value) = 0;
    virtual void EraseSection(const QString& Section) = 0;

protected:
    // The steps from 0 to 1 and from 1 to 0. DoClose writes and frees the backing object,
    // and frees it even when writing fails; DoAbandon only frees it.
    virtual void DoOpen() = 0;
    virtual void DoClose() = 0;
    virtual void DoAbandon() noexcept = 0;

private:
    std::int32_t FOpenCount = 0;
};
