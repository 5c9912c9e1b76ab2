#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

// Somewhere that state objects keep strings by section and key. Open requests nest; the
// backing object exists from the first open to the last close.
class TAbstractStore : public QObject {
    Q_OBJECT

public:
    explicit TAbstractStore(QObject* Owner = nullptr);

    void OpenStore();
    // Not below zero: a stray close is harmless.
    void CloseStore();
    std::int32_t OpenCount() const { return FOpenCount; }

    virtual QString ReadString(const QString& Section, const QString& Key,
                               const QString& Default) = 0;
    virtual void WriteString(const QString& Section, const QString& Key, const QString& Value) = 0;
    virtual void EraseSection(const QString& Section) = 0;

protected:
    // The steps from 0 to 1 and from 1 to 0.
    virtual void DoOpen() = 0;
    virtual void DoClose() = 0;

private:
    std::int32_t FOpenCount = 0;
};
