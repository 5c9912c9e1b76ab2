#pragma once

#include "platform/widgets/Edit.h"

#include <QPointer>
#include <QWidget>

// A pair of arrow buttons that steps a number shown in a buddy edit. Setting Position
// rewrites the buddy's text, so the buddy's change event follows; a whole number typed
// into the buddy within Min and Max becomes the position, other text leaves it alone.
class TUpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Min READ Min WRITE SetMin)
    Q_PROPERTY(int Max READ Max WRITE SetMax)
    Q_PROPERTY(int Position READ Position WRITE SetPosition)
    Q_PROPERTY(TEdit* Associate READ Associate WRITE SetAssociate)

public:
    static constexpr int DefaultMax = 100;

    explicit TUpDown(QWidget* Parent = nullptr);

    int Min() const { return FMin; }
    void SetMin(int Value);
    int Max() const { return FMax; }
    void SetMax(int Value);
    int Position() const { return FPosition; }
    // Kept within Min and Max.
    void SetPosition(int Value);
    TEdit* Associate() const { return FAssociate; }
    void SetAssociate(TEdit* Value);

private:
    void ShowPosition();
    void BuddyEdited(const QString& Text);

    int FMin = 0;
    int FMax = DefaultMax;
    int FPosition = 0;
    QPointer<TEdit> FAssociate;
    QMetaObject::Connection FBuddyConnection;
};
