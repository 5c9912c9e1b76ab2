#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

class QEventLoopLocker;
class TProcessEnd;

// The idle watcher's single-instance guard: its own, so that a watcher never keeps the
// dialog, the saver or a preview out, nor they it.
inline constexpr const char* IdleMutexName = "Ystrelo-idle";
// The watcher's option: "ystrelo --idle DURATION".
inline constexpr const char* IdleOption = "--idle";

// The minutes the dialog offers for "Start after N minutes without input".
inline constexpr int IdleMinutesLeast = 1;
inline constexpr int IdleMinutesMost = 120;
inline constexpr int IdleMinutesDefault = 10;

// What the session holds for starting on idle.
struct TIdleState {
    // The autostart entry exists, with these minutes, and the desktop has not switched it
    // off.
    bool Enabled = false;
    int Minutes = IdleMinutesDefault;
    // The running watcher.
    std::optional<pid_t> Watcher;
};

// Starting on idle is no setting of ours: the desktop starts the watcher at login from an
// XDG autostart entry, and the dialog starts or ends the one of this session itself, so
// that a choice counts at once and survives a login.
class TIdleControl : public QObject {
    Q_OBJECT

public:
    // How long an old watcher may take to end; the one started next would exit at once
    // while the old one still holds the guard.
    static constexpr std::chrono::milliseconds EndLimit{3000};

    explicit TIdleControl(QObject* Owner = nullptr);
    ~TIdleControl() override;

    // $XDG_CONFIG_HOME/autostart/ystrelo-idle.desktop. Raises when there is no home.
    static std::string EntryPath();
    static std::string EntryText(const QString& Program, int Minutes);
    // The entry and the guard as they are now. Raises when the entry cannot be read.
    static TIdleState Read();

    // The program the entry and the watcher run: the running one unless set.
    QString Program() const;
    void SetProgram(const QString& Value) { FProgram = Value; }

    // Brings the session to the choice; Found is what the user saw, so that a watcher
    // the user never touched runs on. The entry is written or removed at once; the
    // watcher is ended and started from the event loop, which is kept running until that
    // is done. An entry that was not enabled is left as it is unless Enabled. Raises, naming
    // the entry and why, when it cannot be written or removed, or the watcher ended.
    void Apply(const TIdleState& Found, bool Enabled, int Minutes);

private:
    void Start(int Minutes);

    QString FProgram;
    std::unique_ptr<TProcessEnd> FEnding;
    std::unique_ptr<QEventLoopLocker> FKeepRunning;
};
