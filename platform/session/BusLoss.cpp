#include "platform/session/BusLoss.h"

bool WatchBusLoss(QDBusConnection& Bus, QObject* Receiver, const char* Slot) {
    return Bus.connect(QString(), "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local",
                       "Disconnected", Receiver, Slot);
}
