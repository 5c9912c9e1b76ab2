#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QObject>
#include <functional>
#include <map>
#include <memory>

// org.freedesktop.ScreenSaver on the session bus, for a desktop that has nobody else
// serving it: video players and browsers ask it to hold the screen saver off while they
// play, and some ask it to count as user activity. An inhibit lasts until its caller
// takes it back or leaves the bus, so a crashed player never keeps the saver away.
class TScreenSaverService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    struct THandlers {
        // The first inhibit began (true) or the last one ended (false).
        std::function<void(bool Inhibited)> Inhibited;
        // A program asked that the user count as active.
        std::function<void()> Activity;
        // Whether the saver runs now.
        std::function<bool()> Active;
    };

    // Takes the name on Bus; nothing when another process owns it.
    static std::unique_ptr<TScreenSaverService> Serve(const QDBusConnection& Bus,
                                                      THandlers Handlers);
    ~TScreenSaverService() override;

    static constexpr const char* BusName = "org.freedesktop.ScreenSaver";

public slots:
    Q_SCRIPTABLE uint Inhibit(const QString& Application, const QString& Reason);
    Q_SCRIPTABLE void UnInhibit(uint Cookie);
    Q_SCRIPTABLE void SimulateUserActivity();
    Q_SCRIPTABLE bool GetActive();

private:
    TScreenSaverService(const QDBusConnection& Bus, THandlers Handlers);
    void CallerLeft(const QString& Caller);

    QDBusConnection FBus;
    THandlers FHandlers;
    QDBusServiceWatcher FCallers;
    // Cookie -> the unique bus name of the caller that holds it.
    std::map<uint, QString> FInhibits;
    uint FNextCookie = 1;
};
