#pragma once

// A headless mutter of the test's own, as GNOME runs it: a Wayland compositor with one
// virtual monitor, on a session bus of its own (dbus-run-session), run as the test's user
// (mutter refuses root) with a home and runtime folder of its own. The seat has no input
// devices; its idle time is reset through the idle monitor's test hook instead.

#include "tests/host/HostTestSupport.h"
#include "tests/package/HostUser.h"

#include <memory>
#include <string>
#include <vector>

class TMutter {
public:
    TMutter();
    TMutter(const TMutter&) = delete;
    TMutter& operator=(const TMutter&) = delete;

    // Whether mutter and its bus run; the reason otherwise.
    bool Started() const { return FError.empty(); }
    const std::string& Error() const { return FError; }
    // Why no mutter can run here, or nothing when one can: mutter or dbus-run-session
    // missing, only root to run it as (a build folder other users cannot reach), or a
    // ThreadSanitizer build.
    static std::string Unavailable();

    // Starts Program as the test's user, a client of this compositor and its bus.
    std::unique_ptr<TChild> Start(const std::vector<std::string>& Program) const;
    // As if the user had just touched a device: mutter's idle time starts again from 0.
    // False when mutter did not take the call.
    bool ResetIdleTime() const;
    // Puts the monitors to sleep (1 standby, 2 suspend, 3 off) or wakes them (0) through
    // DisplayConfig's PowerSaveMode, as GNOME does when it blanks the screen. False when
    // mutter did not take it.
    bool SetPowerSaveMode(int Mode) const;
    // Ends the compositor at once, as a crash would; its bus stays.
    void Kill();

private:
    TTempDir FRuntime;
    // Ends every process of the user, mutter and its bus among them.
    THostUser FUser;
    std::string FError;
    std::string FBus;
    pid_t FMutter = -1;
    std::unique_ptr<TChild> FSession;
};
