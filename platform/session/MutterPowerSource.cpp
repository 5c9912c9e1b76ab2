#include "platform/session/MutterPowerSource.h"

#include "platform/session/BusLoss.h"
#include "platform/session/SessionBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {
constexpr const char* DisplayConfig = "org.gnome.Mutter.DisplayConfig";
constexpr const char* DisplayConfigPath = "/org/gnome/Mutter/DisplayConfig";
constexpr const char* Properties = "org.freedesktop.DBus.Properties";
constexpr const char* PowerSaveMode = "PowerSaveMode";
} // namespace

std::unique_ptr<TMutterPowerSource> TMutterPowerSource::Open() {
    if (!SessionBusGiven())
        return nullptr;
    QDBusConnection Bus = QDBusConnection::sessionBus();
    if (!Bus.isConnected() || !Bus.interface() ||
        !Bus.interface()->isServiceRegistered(DisplayConfig))
        return nullptr;
    return std::unique_ptr<TMutterPowerSource>(new TMutterPowerSource(Bus));
}

TMutterPowerSource::TMutterPowerSource(const QDBusConnection& Bus) : FBus(Bus) {}

bool TMutterPowerSource::Seen() const {
    return FMode == ModeOn || FMode == ModeUnknown;
}

void TMutterPowerSource::Watch(std::function<void()> Changed) {
    // Before the first reading: a change between the two is not lost. Matching on
    // mutter's name keeps another client from faking it.
    FBus.connect(DisplayConfig, DisplayConfigPath, Properties, "PropertiesChanged", this,
                 SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
    WatchBusLoss(FBus, this, SLOT(MutterGone()));
    auto* Watcher = new QDBusServiceWatcher(DisplayConfig, FBus,
                                            QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(Watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &TMutterPowerSource::MutterGone);
    connect(Watcher, &QDBusServiceWatcher::serviceRegistered, this,
            &TMutterPowerSource::MutterBack);
    ReadMode();
    FChanged = std::move(Changed);
}

void TMutterPowerSource::ReadMode() {
    const QDBusMessage Reply = FBus.call(
        QDBusMessage::createMethodCall(DisplayConfig, DisplayConfigPath, Properties, "Get")
        << QString(DisplayConfig) << QString(PowerSaveMode));
    SetMode(Reply.type() == QDBusMessage::ReplyMessage
                ? Reply.arguments().value(0).value<QDBusVariant>().variant().toInt()
                : ModeOn);
}

void TMutterPowerSource::SetMode(int Mode) {
    const bool Was = Seen();
    FMode = Mode;
    if (Seen() != Was && FChanged)
        FChanged();
}

void TMutterPowerSource::PropertiesChanged(const QString& Interface, const QVariantMap& Changed,
                                           const QStringList& Invalidated) {
    if (Interface != DisplayConfig)
        return;
    if (Changed.contains(PowerSaveMode))
        SetMode(Changed.value(PowerSaveMode).toInt());
    else if (Invalidated.contains(PowerSaveMode))
        ReadMode();
}

void TMutterPowerSource::MutterGone() {
    // Nobody left to put the monitors to sleep, or to wake them: paint.
    SetMode(ModeOn);
}

void TMutterPowerSource::MutterBack() {
    ReadMode();
}
