#pragma once

#include "config/DesignLayout.h"
#include "config/Frame.h"

#include <QString>

#include <functional>

class QLabel;
class TCheckBox;
class TComponentState;

// What the three settings pages share: the change notification to their owner, the state
// object that keeps their controls in the settings file, and the design-time layout.
class TSettingsPage : public TFrame {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    TSettingsPage(QWidget* Owner, const QString& FormName, const QSize& DesignSize);

    // Tells the owner about a change; called at the end of every handler of the page.
    void Changed();
    TComponentState* State() const { return FState; }
    // The layout factors this page's captions need, and their application; the page then
    // asks its design size times the factors as its minimum.
    QSizeF RequiredScale() const { return FLayout.Required(); }
    void ApplyScale(const QSizeF& Scale);

    TNotifyEvent OnChange;

protected:
    TComponentState* MakeState(const QString& Name, const QString& Section,
                               const QStringList& StoredProperties);
    TCheckBox* MakeCheckBox(const char* Name, const QString& Caption, const QRect& Design,
                            bool Checked);
    QLabel* MakeLabel(const char* Name, const QString& Caption, const QRect& Design,
                      Qt::Alignment Alignment = Qt::AlignLeft);
    // Runs a handler as the toolkit would: an error leaving it is reported, not passed on.
    void Guarded(const std::function<void()>& Handler);

    TDesignLayout FLayout;

private:
    QSize FDesignSize;
    TComponentState* FState = nullptr;
};
