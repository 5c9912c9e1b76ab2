#pragma once

#include "platform/BlankingSource.h"

#include <QObject>
#include <QString>

// KDE Plasma's PowerDevil turns the screens off after a time without input, in the power
// profile for mains power ("AC"), as its settings files in $XDG_CONFIG_HOME say:
// - Plasma 6: powerdevilrc, [AC][Display] TurnOffDisplayWhenIdle (default true) and
//   TurnOffDisplayIdleTimeoutSec (default 600), "Turn off screen";
// - Plasma 5: powermanagementprofilesrc, [AC][DPMSControl] idleTime in seconds, present
//   only while "Screen Energy Saving" is on.
class TKdeBlanking : public QObject, public TBlankingSource {
    Q_OBJECT

public:
    // Plasma's major version, as KDE_SESSION_VERSION gives it.
    explicit TKdeBlanking(int PlasmaVersion);
    void Read(std::function<void(std::optional<TBlanking>)> Found) override;

    // The value of Key in Group ("[AC][Display]") of a KDE settings file; empty when
    // either is missing.
    static QString Value(const QString& Path, const QString& Group, const QString& Key);

private:
    std::optional<TBlanking> Find() const;

    int FPlasma;
};
