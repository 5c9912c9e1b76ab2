#include "host/MouseMoveHook.h"

#include "platform/qt/WaylandPlatform.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

#include <cmath>

TMouseMoveHook::TMouseMoveHook(QWidget* Target) : QObject(Target), FTarget(Target) {
    Target->setMouseTracking(true);
    Target->installEventFilter(this);
}

bool TMouseMoveHook::eventFilter(QObject* Watched, QEvent* Event) {
    // Where the pointer came in counts as a move where no motion event tells it again
    // (Wayland): a move from one monitor onto another is measured there at once.
    const bool Move = Event->type() == QEvent::MouseMove;
    const auto* Pointer = Move ? static_cast<QSinglePointEvent*>(Event)
                          : Event->type() == QEvent::Enter && TWaylandPlatform::EnterIsMotion()
                              ? dynamic_cast<QEnterEvent*>(Event)
                              : nullptr;
    if (Watched == FTarget && Pointer && OnMouseMove) {
        // X reports whole device pixels; Qt divides them by the scale, so this gives
        // them back exactly.
        const qreal Ratio = FTarget->devicePixelRatioF();
        const QPointF At = Pointer->position() * Ratio;
        // A copy: the handler may close the window and with it free this hook.
        const TMouseMoveEvent Handler = OnMouseMove;
        Handler(FTarget, Pointer->modifiers(), static_cast<std::int32_t>(std::lround(At.x())),
                static_cast<std::int32_t>(std::lround(At.y())));
        // Handled: an unhandled move would travel on to the parent window and be
        // counted twice. An enter goes on: Qt's own bookkeeping of the widget under the
        // pointer needs it.
        return Move;
    }
    return QObject::eventFilter(Watched, Event);
}
