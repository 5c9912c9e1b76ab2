#include "host/SaverStartup.h"

// The saver windows and the configuration dialog are not built yet: both modes end
// at once, quietly.

QWidget* StartSaverMode() {
    return nullptr;
}

QWidget* StartConfigureMode() {
    return nullptr;
}

void EndWindowedMode() {}
