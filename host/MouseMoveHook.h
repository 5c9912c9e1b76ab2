#pragma once

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QScreen>

#include <cstdint>
#include <functional>

class QWidget;

// A widget's mouse-move event as a replaceable handler field, so that one window can
// take over the mouse movements of another window and of its child controls. On X11 the
// position is in the receiving widget's device pixels: on a scaled monitor a movement
// is measured as far as the pointer really moved. On Wayland, where each window sees
// the pointer only over itself, it is in the compositor's layout, the units in which the
// compositor moves the pointer, so that positions over two outputs compare.
class TMouseMoveHook : public QObject {
    Q_OBJECT
public:
    using TMouseMoveEvent = std::function<void(QObject* Sender, Qt::KeyboardModifiers Shift,
                                               std::int32_t X, std::int32_t Y)>;

    // Watches Target (which owns the hook) and turns on its mouse tracking, so movements
    // arrive without a button held.
    explicit TMouseMoveHook(QWidget* Target);

    TMouseMoveEvent OnMouseMove;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QPointF LayoutPosition(QPointF InTarget);

    QWidget* FTarget;
    // Qt's own scale factor on the screen it was last asked for.
    QPointer<QScreen> FFactorScreen;
    qreal FFactor = 1;
};
