#pragma once

#include "platform/IdleSource.h"

#include <QDBusConnection>
#include <QObject>
#include <cstdint>
#include <memory>

class QDBusServiceWatcher;
class QSocketNotifier;
class TScreenSaverService;
class TX11Display;
struct xcb_connection_t;

// The X server's own idle clock: the SYNC extension's IDLETIME counter, with an alarm.
// Where the session bus has no org.freedesktop.ScreenSaver, the source serves that name
// itself and honours its inhibitors (video players and browsers call it). A screen-saver
// host that can run Ystrelo takes over when it starts.
class TX11IdleSource : public QObject, public TIdleSource {
    Q_OBJECT

public:
    // Raises EYstreloError when $DISPLAY's server does not answer or has no IDLETIME.
    static std::unique_ptr<TIdleSource> Open();
    ~TX11IdleSource() override;

    void Watch(std::chrono::milliseconds Duration, THandlers Handlers) override;
    std::string Name() const override;

private slots:
    void BusLost();

private:
    explicit TX11IdleSource(std::unique_ptr<TX11Display> Display);
    void FindIdleCounter();
    // The alarm waits for the counter to reach the idle time, or to fall back below what
    // it last read (input).
    void Arm(bool ForIdle, std::int64_t Value);
    void ServeTheBus();
    void ReadEvents();
    void Alarmed(std::int64_t Counter);
    // Counts as input: IDLETIME starts again from zero.
    void ResetIdleTime();
    void StepAside(const std::string& Host);
    void Stop();

    // Declared before the notifier on its socket, so that it outlives it.
    std::unique_ptr<TX11Display> FDisplay;
    xcb_connection_t* FConnection;
    std::uint32_t FRoot;
    std::uint32_t FCounter = 0;
    std::uint32_t FAlarm = 0;
    std::uint8_t FFirstEvent = 0;
    std::uint32_t FStatusAtom = 0;
    std::chrono::milliseconds FDuration{};
    THandlers FHandlers;
    bool FWaitingForIdle = true;
    bool FReportedIdle = false;
    bool FInhibited = false;
    bool FStopped = false;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QDBusConnection FBus{QString()};
    std::unique_ptr<QDBusServiceWatcher> FHosts;
    std::unique_ptr<TScreenSaverService> FService;
};
