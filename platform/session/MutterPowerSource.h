#pragma once

#include "platform/VisibilitySource.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <memory>

// GNOME's power saving: mutter's org.gnome.Mutter.DisplayConfig says in PowerSaveMode
// whether it has put the monitors to sleep (1 standby, 2 suspend, 3 off), on Wayland and
// X11 alike; GNOME does so when it blanks the screen. All monitors sleep together.
class TMutterPowerSource : public QObject, public TVisibilitySource {
    Q_OBJECT

public:
    // PowerSaveMode: 0 on; -1 is mutter's "not known", which is no sleep either.
    static constexpr int ModeOn = 0;
    static constexpr int ModeUnknown = -1;

    // Nothing when there is no session bus or no mutter on it.
    static std::unique_ptr<TMutterPowerSource> Open();

    bool Seen() const override;
    void Watch(std::function<void()> Changed) override;

private slots:
    void PropertiesChanged(const QString& Interface, const QVariantMap& Changed,
                           const QStringList& Invalidated);
    void MutterGone();
    void MutterBack();

private:
    explicit TMutterPowerSource(const QDBusConnection& Bus);
    // Asks mutter; a failed call (mutter gone meanwhile) leaves the monitors on.
    void ReadMode();
    void SetMode(int Mode);

    QDBusConnection FBus;
    int FMode = ModeOn;
    std::function<void()> FChanged;
};
