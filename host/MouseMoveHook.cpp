#include "host/MouseMoveHook.h"

#include <QMouseEvent>
#include <QWidget>

#include <cmath>

TMouseMoveHook::TMouseMoveHook(QWidget* Target) : QObject(Target), FTarget(Target) {
    Target->setMouseTracking(true);
    Target->installEventFilter(this);
}

bool TMouseMoveHook::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FTarget && Event->type() == QEvent::MouseMove && OnMouseMove) {
        const auto* Move = static_cast<QMouseEvent*>(Event);
        // X reports whole device pixels; Qt divides them by the scale, so this gives
        // them back exactly.
        const qreal Ratio = FTarget->devicePixelRatioF();
        const QPointF At = Move->position() * Ratio;
        // A copy: the handler may close the window and with it free this hook.
        const TMouseMoveEvent Handler = OnMouseMove;
        Handler(FTarget, Move->modifiers(), static_cast<std::int32_t>(std::lround(At.x())),
                static_cast<std::int32_t>(std::lround(At.y())));
        // Handled: an unhandled move would travel on to the parent window and be
        // counted twice.
        return true;
    }
    return QObject::eventFilter(Watched, Event);
}
