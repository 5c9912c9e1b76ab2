#pragma once

// The user a host runs the installed program as: a home of its own holding the user's
// settings, and a name in the password database that only its own processes see. The hosts
// refuse to run display modes as root; D-Bus, dbus-launch and the lockers ask the password
// database for the user, so a bare user id would fail them before they reach us.

#include "tests/host/HostTestSupport.h"

#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class THostUser {
public:
    THostUser();
    // Every process of the user goes (SIGKILL), and whatever came to us is reaped.
    ~THostUser();
    THostUser(const THostUser&) = delete;
    THostUser& operator=(const THostUser&) = delete;

    uid_t Uid() const { return FUid; }
    const std::string& Home() const { return FHome.Path(); }
    std::string SettingsFile() const { return Home() + "/.config/Ystrelo.ini"; }
    // Writes a file below the home, owned by the user.
    void Write(const std::string& RelativePath, const std::string& Text) const;

    // Runs Program as the user with an environment of its own: HOME, USER, LOGNAME, a
    // plain PATH and Environment ("NAME=value"), nothing of ours.
    std::unique_ptr<TChild> Run(const std::vector<std::string>& Program,
                                const std::vector<std::string>& Environment = {}) const;

    // The user's processes that still run (zombies are not counted).
    std::vector<pid_t> Processes() const;
    // Those of them that run the installed program.
    std::vector<pid_t> Copies() const;
    // Reaps the user's processes that ended as our children (we are a subreaper).
    void Reap() const;

    static const char* const Settings;

private:
    TTempDir FHome;
    uid_t FUid = 0;
    std::string FPasswd;
};

// What the user's programs in a compositor session of the test's own (mutter, KWin) find
// set besides: a UTF-8 locale, as a desktop session has (Qt 6.8 complains on stderr
// without one), the build first on the PATH, the session's runtime folder, and the
// sanitizers' options.
std::vector<std::string> SessionEnvironment(const std::string& Runtime);

// What /proc tells of a process (we are root): its arguments and environment.
std::vector<std::string> Arguments(pid_t Pid);
std::map<std::string, std::string> Environment(pid_t Pid);
std::string Describe(pid_t Pid);

// The zoom in the hues of THostUser::Settings: many shades, and every pixel black or a
// pure shade of red or of blue; never grey, never the host's own picture.
bool ZoomInUserHues(const std::vector<std::uint32_t>& Pixels);
// For a failure's message: how many shades, and the first pixel outside those hues.
std::string DescribePicture(const std::vector<std::uint32_t>& Pixels);

// Width and height of a window as xwininfo reports them; 0 x 0 when it has none.
std::pair<int, int> WindowSize(const std::string& Display, std::uint32_t Window);

constexpr const char* InstalledProgram = "/usr/bin/ystrelo";
