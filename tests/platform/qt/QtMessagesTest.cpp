// Qt's own reports of a broken Wayland connection end the process in our one line, however
// far Qt had got when it noticed.
#include "platform/qt/QtMessages.h"

#include <gtest/gtest.h>

#include <QtGlobal>

#include <cstdlib>

namespace {
void WarnOnWayland(const char* Warning) {
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    InstallQtMessageFilter(false);
    qWarning("%s", Warning);
    std::exit(0);
}
} // namespace

TEST(QtMessagesDeathTest, ABrokenWaylandConnectionEndsInOneLineWhateverQtWasDoing) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto Lost = testing::ExitedWithCode(LostDisplayExitCode);
    const std::string Line = std::string("^ystrelo: ") + LostCompositorMessage + "\n$";
    // The main thread's dispatch finds it.
    EXPECT_EXIT(WarnOnWayland("The Wayland connection broke. Did the Wayland compositor die?"),
                Lost, Line);
    // Only the frame-event reader had found it when a termination request tore Qt down.
    EXPECT_EXIT(WarnOnWayland("Failed to write to the pipe: Bad file descriptor."), Lost, Line);
}
