#pragma once

#include "../platform/ProfileTestSupport.h"

#include <QApplication>

// Widgets need an application object; one for the whole test program.
inline void EnsureApplication() {
    static int Argc = 1;
    static char Name[] = "config_tests";
    static char* Argv[] = {Name, nullptr};
    static QApplication Application(Argc, Argv);
}
