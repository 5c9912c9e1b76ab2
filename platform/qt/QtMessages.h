#pragma once

// What becomes of the toolkit's own messages. Qt reports a lost X server with a warning
// and then calls exit() (a lost Wayland compositor with another warning and _exit()), which runs
// the program's static destructors while the painter thread still draws: instead the filter prints
// our one line and ends the process at once (EndAbruptly: the kernel drops the guard's lock with
// it, and the lock files that would outlast us are removed first).
//
// Quiet drops the toolkit's debug, information and warning messages as well: a
// screen-saver host may show whatever its display modes write on standard error on the
// screen, and chatter about, say, a missing runtime folder has no place there.
void InstallQtMessageFilter(bool Quiet);

// The line and the exit code of a lost connection to the X server, for every mode.
inline constexpr const char* LostDisplayMessage = "lost the connection to the X server";
inline constexpr int LostDisplayExitCode = 1;
// The line of an X server that refused Qt's connection at start-up, with the same code.
inline constexpr const char* CannotOpenDisplayMessage = "cannot open the X display";
// The line of a lost Wayland compositor, with the same exit code.
inline constexpr const char* LostCompositorMessage =
    "lost the connection to the Wayland compositor";
// The line of a lost session bus, for the idle watcher's sources.
inline constexpr const char* LostBusMessage = "lost the connection to the session bus";

// Prints the lost-connection line and ends the process at once, as the filter does when Qt
// finds the connection broken; for our own requests that find it first.
[[noreturn]] void EndOnLostDisplay();
