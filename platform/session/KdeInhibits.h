#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

// The inhibits KDE Plasma keeps. A video player's org.freedesktop.ScreenSaver.Inhibit goes
// to KDE's screen locker (ksmserver on X11, KWin on Wayland), which hands it on to
// PowerDevil's policy agent as a hold on the screen's settings; while one lasts KDE
// neither dims, blanks nor locks, and the saver does not start either. PowerDevil starts
// the session's idle time again whenever the holds come or go. Where no policy agent runs
// (another desktop, or PowerDevil not yet up), nothing holds, and one that appears later
// is asked then.
class TKdeInhibits : public QObject {
    Q_OBJECT

public:
    explicit TKdeInhibits(const QDBusConnection& Bus);
    // Whether a hold lasts, as the agent last said.
    bool Inhibited() const { return FInhibited; }

    static constexpr const char* BusName = "org.kde.Solid.PowerManagement.PolicyAgent";
    static constexpr const char* ObjectPath = "/org/kde/Solid/PowerManagement/PolicyAgent";
    static constexpr const char* Interface = "org.kde.Solid.PowerManagement.PolicyAgent";
    // The agent's policy of the screen's settings (PolicyAgent::ChangeScreenSettings).
    static constexpr uint ScreenSettings = 4;

private slots:
    void Ask();

private:
    QDBusConnection FBus;
    QDBusServiceWatcher FAgent;
    bool FInhibited = false;
};
