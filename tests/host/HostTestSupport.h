#pragma once

// Helpers for tests that run the built program: temporary folders, child processes with
// a controlled environment, a private Xvfb, and a small X client of our own that plays
// the screen-saver host.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>
#include <xcb/xcb.h>

using namespace std::chrono_literals;

class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

std::string ReadFile(const std::string& Path);
std::string YstreloBinary();
// CPU time a thread used so far, in clock ticks (user + system).
long ThreadTicks(pid_t Pid, pid_t Tid);
// Whether process Pid runs a thread whose name begins with Prefix ("QXcbEventQueue", the
// painter's "ystrelo-paint").
bool HasThread(pid_t Pid, const std::string& Prefix);

// The painter thread of a running program (ystrelo-paint), watched through /proc: whether
// it works, whether it rests, and whether it is still the one first found (the same
// painter, so the same view goes on: a new painter would start from the overview).
class TPainterWatch {
public:
    // A painter at rest uses no processor time for this long.
    static constexpr std::chrono::milliseconds Quiet = 3s;
    // Seen again, a painter goes on within this.
    static constexpr std::chrono::milliseconds ResumeWithin = 2s;

    explicit TPainterWatch(pid_t Program) : FProgram(Program) {}
    // Its processor time grows within Within; the first call finds the thread.
    bool Works(std::chrono::milliseconds Within = ResumeWithin);
    // Within Within, its processor time stays the same for Quiet; the first call finds
    // the thread.
    bool Rests(std::chrono::milliseconds Within);
    // The painter thread is the one the first call found.
    bool SamePainter() const;

    // Expects a painter that works within StartWithin to rest within RestWithin of Hide,
    // and, once Show has run, to go on within GoOnWithin: the same painter, so the same
    // view.
    void ExpectRestWhileHidden(const std::function<void()>& Hide, const std::function<void()>& Show,
                               std::chrono::milliseconds StartWithin,
                               std::chrono::milliseconds RestWithin,
                               std::chrono::milliseconds GoOnWithin = ResumeWithin);

private:
    // The painter thread's id, or 0.
    pid_t Find() const;
    long Ticks() const;

    pid_t FProgram;
    pid_t FThread = 0;
};

// A child process being watched: its stderr goes to a file in its temporary folder, and
// it is killed if still running when the object goes. Subclasses start it.
class TProcess {
public:
    TProcess(const TProcess&) = delete;
    TProcess& operator=(const TProcess&) = delete;
    virtual ~TProcess();

    pid_t Pid() const { return FPid; }
    // The raw wait status once the child ended within Timeout; nothing otherwise.
    std::optional<int> Wait(std::chrono::milliseconds Timeout);
    bool Running();
    void Signal(int Number);
    std::string Stderr() const { return ReadFile(FDir.Path() + "/stderr"); }

protected:
    TProcess() = default;

    TTempDir FDir;
    pid_t FPid = -1;

private:
    std::optional<int> FStatus;
};

// A child process whose stdout and stderr go to files in a temporary folder.
class TChild : public TProcess {
public:
    // Environment: ours minus the variables in Unset, plus Set ("NAME=value").
    TChild(const std::vector<std::string>& Arguments, const std::vector<std::string>& Set,
           const std::vector<std::string>& Unset = {});
    std::string Stdout() const { return ReadFile(FDir.Path() + "/stdout"); }
};

// A D-Bus daemon of the test's own, for a session bus or, through
// DBUS_SYSTEM_BUS_ADDRESS, a system bus.
class TBusDaemon : public TChild {
public:
    TBusDaemon();
    // Where it listens, once it has said so; empty when it did not within Timeout.
    std::string Address(std::chrono::milliseconds Timeout) const;
};

// Whether a wait status (none: still running) is a normal exit with Code.
bool ExitedWith(const std::optional<int>& Status, int Code);

// Runs the program to its end (or fails the test after Timeout) and returns the status.
struct TRunResult {
    int Status = -1;
    std::string Stderr;
    bool ExitedWith(int Code) const;
};
TRunResult RunYstrelo(const std::vector<std::string>& Arguments,
                      const std::vector<std::string>& Set, std::chrono::milliseconds Timeout = 20s);

// Starts the X server of Argv (the program first), which picks a free display number
// itself; returns ":N" once it listens, or "" when it did not start.
std::string StartXServer(std::vector<std::string> Argv, pid_t& Pid);

// An X server of the test's own on a free display number, stopped by its process id.
class TXvfb {
public:
    // Whether the server resets itself when its last client leaves, as X servers do by
    // default. Never, unless a test is about it: a program started again right then
    // (the signal tests start one saver after another) would find its connection refused.
    enum class TReset { Never, WhenIdle };

    TXvfb(int Width = 640, int Height = 480, TReset Reset = TReset::Never);
    // Screens 0, 1, ... as Xvfb takes them ("640x480x24").
    explicit TXvfb(const std::vector<std::string>& Screens, TReset Reset = TReset::Never);
    ~TXvfb();
    bool Started() const { return !FDisplay.empty(); }
    // Ends the server at once, as a crash would; its clients lose their connections.
    void Kill();
    // Stops the server (SIGSTOP), as a hung one: requests wait for ever. Thaw goes on.
    void Freeze();
    void Thaw();
    // ":N"
    const std::string& Display() const { return FDisplay; }

private:
    pid_t FPid = -1;
    std::string FDisplay;
};

// A display name no X server answers to while this object lives. Its number is held the
// way servers hold theirs, by a socket of ours at the server's abstract address: a server
// picking a free number (-displayfd) passes it by, and a client that tries it is refused,
// as nobody listens there. A number merely freed by a server would be free for the next.
class TNoXServer {
public:
    TNoXServer();
    ~TNoXServer();
    TNoXServer(const TNoXServer&) = delete;
    TNoXServer& operator=(const TNoXServer&) = delete;
    // ":N"
    const std::string& Display() const { return FDisplay; }

private:
    int FSocket = -1;
    std::string FDisplay;
};

// Splits the server's screen into monitors side by side, as RandR reports them to
// clients (xrandr --setmonitor), the first one primary. False when xrandr failed.
struct TMonitorSpec {
    int X, Y, Width, Height;
};
bool SplitIntoMonitors(const std::string& Display, const std::vector<TMonitorSpec>& Monitors);

// Output of a shell command, run with DISPLAY set; empty when it failed to start.
std::string RunCommand(const std::string& Display, const std::string& Command);

// The test's own X client: creates host windows and reads their pixels back from the
// server.
class TX11Client {
public:
    explicit TX11Client(const std::string& Display);
    ~TX11Client();

    // OverrideRedirect: a window that window managers leave alone, above every other once
    // mapped, as lockers and screen savers make them.
    xcb_window_t CreateWindow(xcb_window_t Parent, int Width, int Height, std::uint32_t Background,
                              bool OverrideRedirect = false);
    xcb_window_t Root() const { return FScreen->root; }
    void Map(xcb_window_t Window);
    void Unmap(xcb_window_t Window);
    void Destroy(xcb_window_t Window);
    // 0x00RRGGBB of every pixel of the window (depth 24 true colour), as the server has it.
    std::vector<std::uint32_t> Pixels(xcb_window_t Window, int Width, int Height);

private:
    xcb_connection_t* FConnection = nullptr;
    xcb_screen_t* FScreen = nullptr;
};

// A user of the test program's own to run a screen-saver host's display modes as (hosts
// refuse to run them as root), when we are root and other users may run the build; else
// ourselves. The guard of the single instance is per user, and test programs run side by
// side, so each test process has a user of its own.
uid_t TestUser();

// Sends SIGKILL to every process of User: what a host run as that user left behind.
void KillProcessesOf(uid_t User);

// Polls Condition with short sleeps until it holds or Timeout passes.
template <typename F> bool WaitUntil(F Condition, std::chrono::milliseconds Timeout) {
    const auto End = std::chrono::steady_clock::now() + Timeout;
    while (!Condition()) {
        if (std::chrono::steady_clock::now() > End)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A user's settings in hues no default shows: red and blue only, no highlighting, a
// quicker maximum age.
constexpr const char* RedAndBlueSettings = "[TWinControlForm]\n"
                                           "ckRed.Checked=True\n"
                                           "ckBlue.Checked=True\n"
                                           "ckMagenta.Checked=False\n"
                                           "ckAqua.Checked=False\n"
                                           "ckYellow.Checked=False\n"
                                           "ckHighlightCalculations.Checked=False\n"
                                           "rgMaxAge.ItemIndex=2\n";
// The second monitor's frame layout: a matrix of 2 x 2 frames.
constexpr const char* SecondMonitorMatrix = "[Monitor-1]\n"
                                            "ckCustom.Checked=True\n"
                                            "ckScan.Checked=True\n"
                                            "spWide.Position=2\n"
                                            "spHigh.Position=2\n";

// The escape-time picture covers the window: many colours, hardly any of the host's own
// background left.
bool FractalShown(TX11Client& Client, xcb_window_t Window, int Width, int Height,
                  std::uint32_t Background);
