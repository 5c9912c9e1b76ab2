#include "platform/qt/QtMessages.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {
// What Qt's X11 platform says just before it calls exit(1) on a broken connection.
constexpr const char* BrokenConnection = "X11 connection broke";

// Set once on the main thread before the application object exists; read by whichever
// thread Qt reports from.
std::atomic<bool> QuietMessages{false};
QtMessageHandler PreviousHandler = nullptr;

void Filter(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    if (Message.contains(QLatin1String(BrokenConnection))) {
        std::fprintf(stderr, "ystrelo: %s\n", LostDisplayMessage);
        std::_Exit(LostDisplayExitCode);
    }
    if (QuietMessages.load(std::memory_order_relaxed) && Type != QtCriticalMsg &&
        Type != QtFatalMsg)
        return;
    if (PreviousHandler)
        PreviousHandler(Type, Context, Message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(Type, Context, Message)));
}
} // namespace

void InstallQtMessageFilter(bool Quiet) {
    QuietMessages.store(Quiet, std::memory_order_relaxed);
    const QtMessageHandler Previous = qInstallMessageHandler(Filter);
    if (Previous != Filter)
        PreviousHandler = Previous;
}
