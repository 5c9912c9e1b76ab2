#pragma once

#include <QObject>

#include <functional>

// The application's idle event: OnIdle runs on the GUI thread each time the event loop
// has handled everything pending and is about to wait for more. Nothing runs while the
// loop is busy, and nothing repeats while it waits, so a handler never keeps the thread
// spinning. Done is passed true and only reported back; asking to be called again at
// once (false) would turn the wait into a busy loop, so it is not honoured.
class TApplicationEvents : public QObject {
    Q_OBJECT
public:
    using TIdleEvent = std::function<void(QObject* Sender, bool& Done)>;

    explicit TApplicationEvents(QObject* Owner = nullptr);

    TIdleEvent OnIdle;

private:
    void Idle();
};
