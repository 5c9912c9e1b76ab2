#pragma once

#include <string>

class TApplication;

// The host tests' one application object, created on first use: Qt's offscreen platform
// with two screens side by side, the left one at scale 1 (160 x 90), the right one at
// scale 2 (80 x 45 logical, 160 x 90 device pixels). The left one is Qt's primary.
// Under 96 device lines on purpose: from there on Qt's raster engine draws on pooled
// threads of its own, which ThreadSanitizer, not seeing inside Qt, reports as races.
// The settings folder points at a temporary folder for the whole run.
TApplication& SaverTestApp();
// The temporary settings folder (XDG_CONFIG_HOME) of the run.
const std::string& SaverTestConfigHome();

// Runs the GUI thread's event loop for Milliseconds.
void RunEvents(int Milliseconds);
// Runs the event loop until Condition holds (checked every few milliseconds) or Timeout
// milliseconds have passed; returns whether it holds.
template <typename F> bool RunEventsUntil(F Condition, int Timeout);
bool RunEventsUntilImpl(bool (*Check)(void*), void* Context, int Timeout);

template <typename F> bool RunEventsUntil(F Condition, int Timeout) {
    return RunEventsUntilImpl([](void* C) { return (*static_cast<F*>(C))(); }, &Condition, Timeout);
}
