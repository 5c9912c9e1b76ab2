#pragma once

// Qt talks to the desktop's session bus when it finds one (accessibility, desktop
// settings). Given none, libdbus starts one of its own for the X display
// ("dbus-launch --autolaunch"), which outlives us; a host that hands us no bus means none.
// Call before the toolkit starts.
void NoSessionBusOfOurOwn();

// Whether the process has a session bus to talk to (after NoSessionBusOfOurOwn). Asking
// Qt alone would start its bus thread only to learn that there is none.
bool SessionBusGiven();
