#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <sys/types.h>

class QSocketNotifier;

// Ends another process of ours with SIGTERM and tells, from the event loop, when it is
// gone. It is not our child, so there is nothing to wait for: a process descriptor
// becomes readable when the process ends, and the signal goes through that descriptor,
// so a pid reused in between is never hit.
class TProcessEnd : public QObject {
    Q_OBJECT

public:
    // Signals Pid at once. A process that is gone already counts as ended. Raises when
    // the process can neither be watched nor signalled.
    TProcessEnd(pid_t Pid, std::chrono::milliseconds Limit, QObject* Owner = nullptr);
    ~TProcessEnd() override;

    TProcessEnd(const TProcessEnd&) = delete;
    TProcessEnd& operator=(const TProcessEnd&) = delete;

signals:
    // Once, from the event loop: Ended is false when Limit passed first.
    void Finished(bool Ended);

private:
    void Finish(bool Ended);

    int FHandle = -1;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QTimer FLimit;
    bool FFinished = false;
};
