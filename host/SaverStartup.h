#pragma once

class QWidget;

// Start-up of the two windowed modes, run on the main thread after the application
// object exists. Each returns the main window (nullptr: none, the program ends at once).
// The entry point shows it if it is hidden and runs the message loop until it closes:
// the main window should be the only one with Qt::WA_QuitOnClose set.
QWidget* StartSaverMode();
QWidget* StartConfigureMode();

// The application's teardown of what the start-up created (windows, the dialog), after
// the message loop ended or when start-up failed. Harmless when nothing was created.
void EndWindowedMode();
