#pragma once

// The suites of the daemons that came from GNOME Screensaver (mate-screensaver,
// xfce4-screensaver) as their users meet them: the daemon on an Xorg server with two
// monitors, run as a user of our own in a D-Bus session of its own whose settings choose
// the theme, driven by the daemon's command tool. A suite derives from it with what sets
// its daemon apart.

#include "tests/package/DummyXorg.h"
#include "tests/package/ExitWatch.h"
#include "tests/package/HostUser.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class TScreenSaverDaemon : public ::testing::Test {
protected:
    struct TDaemon {
        // The daemon; its suite skips where it is not installed.
        std::string Program;
        std::string CommandTool;
        // Shell lines, run in the session before the daemon starts, that set the daemon's
        // settings as a user sets them in the preferences: one theme, no lock.
        std::string Settings;
    };
    explicit TScreenSaverDaemon(TDaemon Daemon);

    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    std::vector<std::string> Display() const;
    // Program, in a D-Bus session of its own with the settings.
    void StartSession(const std::vector<std::string>& Program);
    // Runs the command tool with Verb; true when it succeeds.
    bool Command(const std::string& Verb, TExitWatch* Exits = nullptr) const;
    std::vector<std::uint32_t> Monitor(int Index) const;
    std::string Copies() const;

    // Starts Daemon in the session and activates it: a copy of the installed program per
    // monitor, each painting the user's zoom, none started again or lost, every one ended
    // at once on deactivation, and the user's settings never written.
    void OneCopyPerMonitorUntilDeactivation(const std::vector<std::string>& Daemon);

    static constexpr auto SessionReady = std::chrono::seconds(20);
    static constexpr auto ShowWithin = std::chrono::seconds(5);

    static TDummyXorg* FServer;
    std::unique_ptr<THostUser> FUser;
    std::unique_ptr<TX11Client> FClient;
    std::unique_ptr<TChild> FSession;

private:
    TDaemon FDaemon;
};
