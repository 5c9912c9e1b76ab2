#pragma once

#include "platform/IdleSource.h"

#include <QObject>
#include <QProcess>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

class TKdeInhibits;

// "--idle DURATION": a process without windows that runs for the whole session and starts
// the saver ("/s") whenever the desktop's idle clock says the user has left it alone for
// DURATION. It only reacts to the clock, the saver's end and signals: no polling.
class TIdleWatcher : public QObject {
    Q_OBJECT
public:
    // How long a saver that failed keeps the watcher from starting another, at first; it
    // doubles with each failure in a row, up to LongestBackOff.
    static constexpr std::chrono::minutes FirstBackOff{1};
    static constexpr std::chrono::minutes LongestBackOff{32};

    // Program is the saver's program file; Saver its arguments.
    TIdleWatcher(std::unique_ptr<TIdleSource> Source, std::chrono::milliseconds After,
                 QString Program);
    ~TIdleWatcher() override;

    // Watches until Stop or the source's end; quits the running event loop then, with the
    // exit code Run's caller returns.
    void Start();
    // A termination request: ends a running saver first.
    void Stop();
    int ExitCode() const { return FExitCode; }

private:
    // No saver runs, none is put off, nothing holds the desktop awake.
    bool MayStartSaver() const;
    void Idle();
    void StartSaver();
    void SaverEnded(int Code, QProcess::ExitStatus Status);
    void End(int Code, const std::string& Line);

    std::unique_ptr<TIdleSource> FSource;
    // What KDE Plasma holds awake, besides what the source honours itself.
    std::unique_ptr<TKdeInhibits> FKdeInhibits;
    std::chrono::milliseconds FAfter;
    QString FProgram;
    QProcess FSaver;
    // Set while a failed saver keeps the next one back.
    QTimer FBackOff;
    std::chrono::minutes FNextBackOff = FirstBackOff;
    // Idle reported and no input since.
    bool FIdleNow = false;
    bool FEnding = false;
    int FExitCode = 0;
};

// The watcher mode, for the entry point. After is the time the command line asked for,
// nothing when its text was no duration. Returns the exit code.
int RunIdleWatcher(int& Argc, char** Argv, std::optional<std::chrono::seconds> After);
