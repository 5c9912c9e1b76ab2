#pragma once

#include <QApplication>

// The application object of the windowed modes. An error that leaves an event handler
// is reported on standard error and the program goes on, instead of unwinding through
// the toolkit's event loop.
class TApplication : public QApplication {
    Q_OBJECT
public:
    static constexpr const char* Title = "Ystrelo";

    TApplication(int& Argc, char** Argv);

    bool notify(QObject* Receiver, QEvent* Event) override;
};
