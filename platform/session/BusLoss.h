#pragma once

#include <QDBusConnection>

class QObject;

// Calls Slot (a SLOT() of Receiver) once the connection to Bus is gone. libdbus tells its
// own client so with a signal of a local object; nothing on the bus can send it. Returns
// whether the bus took the subscription.
bool WatchBusLoss(QDBusConnection& Bus, QObject* Receiver, const char* Slot);
