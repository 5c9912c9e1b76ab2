#pragma once

class QWidget;
class THostWindow;

// Start-up of the two windowed modes, run on the main thread after the application
// object exists. Each returns the main window (nullptr: none, the program ends at once).
// The entry point shows it if it is hidden and runs the message loop until it closes:
// the main window should be the only one with Qt::WA_QuitOnClose set.
QWidget* StartSaverMode();
QWidget* StartConfigureMode();
// The saver inside a screen-saver host's window, which Host has seen shown: one window,
// primary and a child of the host's, painting the layout of the monitor the host's window
// lies on over its own size. The settings are read but never written.
QWidget* StartHostedSaverMode(THostWindow& Host);

// The application's teardown of what the start-up created (windows, the dialog), after
// the message loop ended or when start-up failed. Harmless when nothing was created.
void EndWindowedMode();
