// One QApplication for the whole panel test program, created before the first test.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {
class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // ctest sets this already; a direct run of the program must stay headless too.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int Argc = 1;
        static char Name[] = "panel_tests";
        static char* Argv[] = {Name, nullptr};
        FApp = new QApplication(Argc, Argv);
    }
    void TearDown() override {
        delete FApp;
        FApp = nullptr;
    }

private:
    QApplication* FApp = nullptr;
};

[[maybe_unused]] auto* const Registered = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);
} // namespace
