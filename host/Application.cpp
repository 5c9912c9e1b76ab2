#include "host/Application.h"

#include <exception>
#include <iostream>

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    setApplicationName(Title);
    setApplicationDisplayName(Title);
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& Error) {
        std::cerr << "ystrelo: " << Error.what() << std::endl;
    } catch (...) {
        std::cerr << "ystrelo: unknown error" << std::endl;
    }
    return false;
}
