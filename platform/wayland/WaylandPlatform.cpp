#include "platform/wayland/WaylandPlatform.h"

#include <QGuiApplication>

bool TWaylandPlatform::Active() {
    return qGuiApp && QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
