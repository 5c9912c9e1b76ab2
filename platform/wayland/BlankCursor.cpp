#include "platform/wayland/BlankCursor.h"

#include "platform/wayland/WaylandPlatform.h"

#include <QCursor>
#include <QPixmap>
#include <QWidget>

namespace {
QCursor TransparentCursor() {
    QPixmap Pixel(1, 1);
    Pixel.fill(Qt::transparent);
    return QCursor(Pixel, 0, 0);
}
} // namespace

void TBlankCursor::Apply(QWidget* Widget) {
    Widget->setCursor(TWaylandPlatform::Active() ? TransparentCursor() : QCursor(Qt::BlankCursor));
}
