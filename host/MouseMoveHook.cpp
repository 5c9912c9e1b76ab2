#include "host/MouseMoveHook.h"

#include "platform/wayland/WaylandOutputs.h"
#include "platform/wayland/WaylandPlatform.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QScreen>
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
        // X reports whole device pixels; Qt divides them by the scale, so the product
        // gives them back exactly.
        const QPointF At = TWaylandPlatform::Active()
                               ? LayoutPosition(Pointer->position())
                               : Pointer->position() * FTarget->devicePixelRatioF();
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

QPointF TMouseMoveHook::LayoutPosition(QPointF InTarget) {
    // A compositor reports the pointer to each window in that window's coordinates; the
    // same point of the desktop is the output's position plus the position in its window,
    // so a move across the edge between two outputs measures as far as the pointer went.
    // Qt keeps a screen's top-left corner in the compositor's units and divides the
    // rest by a factor of its own (QT_SCALE_FACTOR), which is multiplied back; it is
    // asked of the compositor once per screen, not with every motion.
    const QWidget* Window = FTarget->window();
    QScreen* Screen = Window->screen();
    const QPointF InWindow = FTarget->mapTo(Window, InTarget);
    if (!Screen)
        return InWindow;
    if (FFactorScreen != Screen) {
        FFactorScreen = Screen;
        const qreal Factor = TWaylandOutputs::QtFactor(Window->windowHandle());
        FFactor = Factor > 0 ? Factor : 1;
    }
    return QPointF(Screen->geometry().topLeft()) + InWindow * FFactor;
}
