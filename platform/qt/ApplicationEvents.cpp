#include "platform/qt/ApplicationEvents.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <exception>

TApplicationEvents::TApplicationEvents(QObject* Owner) : QObject(Owner) {
    // The GUI thread's dispatcher, whichever thread builds us: the idle event is the
    // application's, not a worker's.
    auto* Dispatcher = QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread());
    if (Dispatcher)
        connect(Dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TApplicationEvents::Idle);
}

void TApplicationEvents::Idle() {
    if (!OnIdle)
        return;
    bool Done = true;
    // Thrown out of the dispatcher, an error would end the loop; it is reported and the
    // program goes on, as for any other event handler.
    try {
        OnIdle(this, Done);
    } catch (const std::exception& Error) {
        qWarning("%s", Error.what());
    }
}
