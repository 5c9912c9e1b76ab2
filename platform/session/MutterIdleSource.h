#pragma once

#include "platform/IdleSource.h"

#include <QDBusConnection>
#include <QObject>

#include <memory>

// GNOME's idle clock: mutter's org.gnome.Mutter.IdleMonitor on the session bus, under
// Wayland and X11 alike. While gnome-session runs, its idle inhibitors hold it off.
class TMutterIdleSource : public QObject, public TIdleSource {
    Q_OBJECT

public:
    // Nothing when there is no session bus or no idle monitor on it.
    static std::unique_ptr<TIdleSource> Open();
    ~TMutterIdleSource() override;

    void Watch(std::chrono::milliseconds Duration, THandlers Handlers) override;
    std::string Name() const override;

private slots:
    void Fired(uint Watch);
    void MonitorGone();
    void BusGone();

private:
    explicit TMutterIdleSource(const QDBusConnection& Bus);
    // Mutter's answer to Method of the idle monitor; raises EYstreloError on an error.
    QVariant Call(const char* Method, const QVariantList& Arguments = {});
    bool Inhibited();
    void Lose(const std::string& Line);

    QDBusConnection FBus;
    THandlers FHandlers;
    std::chrono::milliseconds FDuration{};
    uint FIdleWatch = 0;
    uint FActiveWatch = 0;
    bool FLost = false;
};
