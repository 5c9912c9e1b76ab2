#pragma once

// The idle watcher's single-instance guard: its own, so that a watcher never keeps the
// dialog, the saver or a preview out, nor they it.
inline constexpr const char* IdleMutexName = "Ystrelo-idle";

// The minutes the dialog offers for "Start after N minutes without input".
inline constexpr int IdleMinutesLeast = 1;
inline constexpr int IdleMinutesMost = 120;
inline constexpr int IdleMinutesDefault = 10;
