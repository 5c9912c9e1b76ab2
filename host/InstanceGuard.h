#pragma once

// The name of the single-instance guard.
inline constexpr const char* InstanceMutexName = "Korvanel";

// Takes the single-instance guard into InstanceMutex. False when another instance holds
// it; true also when no guard can be made at all (the program then runs unguarded).
bool AcquireInstance();
// Gives the guard up; harmless when none is held.
void ReleaseInstance();
