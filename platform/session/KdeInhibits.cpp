#include "platform/session/KdeInhibits.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

TKdeInhibits::TKdeInhibits(const QDBusConnection& Bus)
    : FBus(Bus), FAgent(BusName, Bus,
                        QDBusServiceWatcher::WatchForRegistration |
                            QDBusServiceWatcher::WatchForUnregistration) {
    connect(&FAgent, &QDBusServiceWatcher::serviceRegistered, this, &TKdeInhibits::Ask);
    connect(&FAgent, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { FInhibited = false; });
    // Its added and removed holds: which of them hold the screen only HasInhibition says.
    FBus.connect(BusName, ObjectPath, Interface, "InhibitionsChanged", this, SLOT(Ask()));
    if (FBus.interface()->isServiceRegistered(BusName))
        Ask();
}

void TKdeInhibits::Ask() {
    const QDBusPendingCall Call = FBus.asyncCall(
        QDBusMessage::createMethodCall(BusName, ObjectPath, Interface, "HasInhibition")
        << ScreenSettings);
    auto* Reply = new QDBusPendingCallWatcher(Call, this);
    connect(Reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* Done) {
        const QDBusPendingReply<bool> Held = *Done;
        Done->deleteLater();
        // An agent that cannot say (gone, or no PowerDevil at all) holds nothing.
        FInhibited = Held.isValid() && Held.value();
    });
}
