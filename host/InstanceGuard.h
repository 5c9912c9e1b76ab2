#pragma once

#include <string>

// The name of the single-instance guard.
inline constexpr const char* InstanceMutexName = "Korvanel";

// Takes the single-instance guard into InstanceMutex. False when another instance holds
// it; true also when no guard can be made at all (the program then runs unguarded).
bool AcquireInstance();

// A copy that paints into a window of a screen-saver host (one copy per monitor, all at
// once) shares the guard with the copies in other windows, so that none of them shuts
// another out, while the saver with windows of its own and the dialog still find it
// held. Each window has a guard of its own besides, held by one copy at a time.
enum class TWindowGuard {
    Held,          // both are ours: InstanceMutex and WindowMutex
    InstanceTaken, // the saver or the dialog holds the single-instance guard
    WindowTaken    // another copy paints into this window
};
// Window names the window within its X server, such as ":0-0x40000e".
TWindowGuard AcquireWindowInstance(const std::string& Window);

// Gives the guards up; harmless when none is held.
void ReleaseInstance();
// Gives up the window's guard alone, as soon as the copy stops painting: a host may start
// the next copy into the same window at once.
void ReleaseWindowInstance();
