#pragma once

#include <exception>
#include <functional>

// The application's standard report of an error that left an event handler. By default
// the message goes to Qt's message handler (standard error); the windowed modes install a message
// box.
class TErrorReport {
public:
    using THandler = std::function<void(const std::exception& Error)>;

    static void Show(const std::exception& Error);
    // None restores the default report.
    static void SetHandler(THandler Handler);
    // A modal message box with the error's message, for the windowed modes.
    static void MessageBox(const std::exception& Error);
};
