// saver_cost: what the main (GUI) thread of a running saver costs, in per cent of one core
// averaged over a minute, for 1, 2 and 4 monitors of 1920 x 1080, one of 3840 x 2160, and
// a copy in a 1280 x 800 window of a screen-saver host. Each line is one run of
// ystrelo-soak on a virtual X server of its own.
//
// With --wayland it runs `ystrelo /s` itself, on two monitors of 1920 x 1080 twice: on a
// virtual X server split into two RandR monitors, and on a headless sway with two
// outputs (as a user of its own when run as root: sway refuses root). Both runs are
// measured from outside, the same way: the main thread's CPU (user + system, from
// /proc) and its wake-ups over SECONDS from the first new pixels on, the time from the
// start to the first new pixels on screen, resident memory every 10 s; and on Wayland,
// from a short second run with the protocol traced, the pauses between two refreshes
// (commits) once it paints, which bound how late new pixels reach the compositor, and
// how the saver reached Qt's Wayland objects, as it reports them in that run
// (TWaylandNative).
//
//   saver_cost [SECONDS]
//   saver_cost --wayland [SECONDS]
//   saver_cost --screen-off [SECONDS]   (below)
#include "platform/wayland/WaylandNative.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {
struct TCase {
    const char* Name;
    const char* Options;
};
} // namespace

int RunWayland(double Seconds);
int RunScreenOff(double Seconds);

int main(int Argc, char** Argv) {
    if (Argc > 1 && std::string(Argv[1]) == "--wayland")
        return RunWayland(Argc > 2 ? std::stod(Argv[2]) : 60);
    if (Argc > 1 && std::string(Argv[1]) == "--screen-off")
        return RunScreenOff(Argc > 2 ? std::stod(Argv[2]) : 60);
    const std::string Seconds = Argc > 1 ? Argv[1] : "60";
    const TCase Cases[] = {
        {"1 x 1920x1080", "--monitors 1 --size 1920x1080"},
        {"2 x 1920x1080", "--monitors 2 --size 1920x1080"},
        {"4 x 1920x1080", "--monitors 4 --size 1920x1080"},
        {"1 x 3840x2160", "--monitors 1 --size 3840x2160"},
        {"hosted 1280x800", "--hosted --size 1280x800"},
    };
    std::printf("Main thread of the saver over %s s (user + system, per cent of one core)\n\n",
                Seconds.c_str());
    std::printf("%-16s  %s\n", "monitors", "summary");
    for (const TCase& Case : Cases) {
        const std::string Command = std::string(YSTRELO_BINARY_DIR) + "/ystrelo-soak " +
                                    Case.Options + " --seconds " + Seconds + " --interval " +
                                    Seconds + " 2>/dev/null";
        std::string Summary = "(no summary: the run failed)";
        if (FILE* Pipe = popen(Command.c_str(), "r")) {
            char Line[512];
            while (std::fgets(Line, sizeof Line, Pipe))
                if (std::string(Line).rfind("average:", 0) == 0)
                    Summary = std::string(Line + 9);
            pclose(Pipe);
        }
        if (!Summary.empty() && Summary.back() == '\n')
            Summary.pop_back();
        std::printf("%-16s  %s\n", Case.Name, Summary.c_str());
        std::fflush(stdout);
    }
    return 0;
}

namespace {
using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int Width = 1920;
constexpr int Height = 1080;
constexpr auto SampleEvery = 10s;
constexpr auto TraceFor = 5s; // the traced Wayland run
// Where the first new pixels are looked for: the top-left corner of the primary monitor,
// inside the first view, which the coarse blocks cover within moments.
constexpr int Probe = 64;

std::string Quoted(const std::string& Text) {
    std::string Result = "'";
    for (char C : Text)
        Result += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Result + "'";
}

std::string Output(const std::string& Command) {
    std::string Result;
    if (FILE* Pipe = popen(Command.c_str(), "r")) {
        char Buffer[65536];
        std::size_t Read;
        while ((Read = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0)
            Result.append(Buffer, Read);
        pclose(Pipe);
    }
    return Result;
}

// A child with the given environment (ours is not passed on) and its output in Log.
pid_t Spawn(const std::vector<std::string>& Argv, const std::vector<std::string>& Env,
            const std::string& Log = "/dev/null") {
    std::vector<std::string> A = Argv, E = Env;
    std::vector<char*> AC, EC;
    for (auto& X : A)
        AC.push_back(X.data());
    AC.push_back(nullptr);
    for (auto& X : E)
        EC.push_back(X.data());
    EC.push_back(nullptr);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 2, Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t Pid = -1;
    if (posix_spawn(&Pid, AC[0], &Actions, nullptr, AC.data(), EC.data()) != 0)
        Pid = -1;
    posix_spawn_file_actions_destroy(&Actions);
    return Pid;
}

void Stop(pid_t Pid) {
    if (Pid <= 0)
        return;
    kill(Pid, SIGTERM);
    for (int I = 0; I < 500; ++I) {
        if (waitpid(Pid, nullptr, WNOHANG) == Pid)
            return;
        std::this_thread::sleep_for(10ms);
    }
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
}

long ThreadTicks(pid_t Pid, pid_t Tid) {
    std::ifstream In("/proc/" + std::to_string(Pid) + "/task/" + std::to_string(Tid) + "/stat");
    std::string Line;
    std::getline(In, Line);
    const auto Close = Line.rfind(')');
    if (Close == std::string::npos)
        return 0;
    std::istringstream Fields(Line.substr(Close + 2));
    std::string Field;
    long Ticks = 0;
    // After the name: the state is field 3; user and system time are fields 14 and 15.
    for (int Index = 3; Fields >> Field && Index <= 15; ++Index)
        if (Index >= 14)
            Ticks += std::stol(Field);
    return Ticks;
}

long MainThreadTicks(pid_t Pid) {
    return ThreadTicks(Pid, Pid);
}

// How often the main thread went to sleep and was woken (voluntary context switches):
// an idle GUI thread's cost is mostly its wake-ups, which the tick counts above resolve
// poorly at a fraction of a per cent.
long MainThreadWakeups(pid_t Pid) {
    std::ifstream In("/proc/" + std::to_string(Pid) + "/task/" + std::to_string(Pid) + "/status");
    for (std::string Line; std::getline(In, Line);)
        if (Line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::stol(Line.substr(24));
    return 0;
}

double ResidentMegabytes(pid_t Pid) {
    std::ifstream In("/proc/" + std::to_string(Pid) + "/status");
    for (std::string Line; std::getline(In, Line);)
        if (Line.rfind("VmRSS:", 0) == 0)
            return std::stod(Line.substr(6)) / 1024;
    return 0;
}

struct TFigures {
    bool Ran = false;
    double FirstPixelsMs = 0;
    double MainPercent = 0;
    double MainWakeups = 0;        // per second
    std::vector<double> Megabytes; // at the first pixels, then every SampleEvery
    std::string Problem;
};

// One platform's way to start the saver and to look at the probe corner.
struct TPlatform {
    std::vector<std::string> Command; // the saver, with its runner (setpriv) if any
    std::vector<std::string> Env;
    // The probe corner's pixels, 0x00RRGGBB; empty when they cannot be read.
    std::function<std::vector<std::uint32_t>()> Corner;
};

TFigures Measure(const TPlatform& Platform, double Seconds) {
    TFigures Result;
    const auto Bare = Platform.Corner();
    if (Bare.empty()) {
        Result.Problem = "cannot read the screen";
        return Result;
    }
    const auto Start = TClock::now();
    const pid_t Saver = Spawn(Platform.Command, Platform.Env);
    if (Saver <= 0) {
        Result.Problem = "cannot start the saver";
        return Result;
    }
    // New pixels: neither the bare desktop's nor the saver window's black.
    const auto NewPixels = [&] {
        const auto Now = Platform.Corner();
        for (std::size_t I = 0; I < Now.size() && I < Bare.size(); ++I)
            if (Now[I] != Bare[I] && Now[I] != 0)
                return true;
        return false;
    };
    while (!NewPixels()) {
        if (waitpid(Saver, nullptr, WNOHANG) == Saver || TClock::now() - Start > 30s) {
            Result.Problem = "no pixels within 30 s";
            Stop(Saver);
            return Result;
        }
    }
    const auto First = TClock::now();
    Result.FirstPixelsMs = std::chrono::duration<double, std::milli>(First - Start).count();
    const long Ticks = MainThreadTicks(Saver);
    const long Wakeups = MainThreadWakeups(Saver);
    Result.Megabytes.push_back(ResidentMegabytes(Saver));
    const auto End = First + std::chrono::duration<double>(Seconds);
    for (auto Next = First + SampleEvery; Next < End; Next += SampleEvery) {
        std::this_thread::sleep_until(Next);
        Result.Megabytes.push_back(ResidentMegabytes(Saver));
    }
    std::this_thread::sleep_until(End);
    const double Used = static_cast<double>(MainThreadTicks(Saver) - Ticks) /
                        static_cast<double>(sysconf(_SC_CLK_TCK));
    Result.MainPercent = 100 * Used / Seconds;
    Result.MainWakeups = static_cast<double>(MainThreadWakeups(Saver) - Wakeups) / Seconds;
    Result.Megabytes.push_back(ResidentMegabytes(Saver));
    Stop(Saver);
    Result.Ran = true;
    return Result;
}

// A folder of our own, gone with the object.
struct TFolder {
    std::string Path;
    TFolder() {
        std::string Template =
            (std::filesystem::temp_directory_path() / "ystrelo-cost-XXXXXX").string();
        if (mkdtemp(Template.data()))
            Path = Template;
    }
    ~TFolder() {
        std::error_code Ignored;
        std::filesystem::remove_all(Path, Ignored);
    }
};

// Xvfb with one screen split into two RandR monitors of Width x Height side by side, the
// first primary; its display (":N"), or "" when it did not start.
std::string StartTwoMonitorServer(pid_t& Server) {
    int Pipe[2];
    if (pipe(Pipe) != 0)
        return {};
    std::vector<std::string> ServerEnv;
    for (char** E = environ; *E; ++E)
        ServerEnv.push_back(*E);
    Server =
        Spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(Pipe[1]), "-screen", "0",
               std::to_string(2 * Width) + "x" + std::to_string(Height) + "x24", "-br", "-nolisten",
               "tcp", "-noreset"},
              ServerEnv);
    close(Pipe[1]);
    std::string Number;
    char C;
    while (Server > 0 && read(Pipe[0], &C, 1) == 1 && C != '\n')
        Number += C;
    close(Pipe[0]);
    if (Number.empty()) {
        Stop(Server);
        return {};
    }
    const std::string Display = ":" + Number;
    for (int I = 0; I < 2; ++I)
        std::system(("DISPLAY=" + Display + " xrandr --setmonitor " + (I ? "M1" : "'*M0'") + " " +
                     std::to_string(Width) + "/480x" + std::to_string(Height) + "/270+" +
                     std::to_string(I * Width) + "+0 none >/dev/null 2>&1")
                        .c_str());
    std::system(("DISPLAY=" + Display + " xrandr --output screen --off >/dev/null 2>&1").c_str());
    return Display;
}

// That server, a connection to it, and the saver to run there with a home of its own;
// Display is empty when the server did not start.
struct TTwoMonitorX11 {
    pid_t Server = -1;
    std::string Display = StartTwoMonitorServer(Server);
    xcb_connection_t* Connection = Display.empty() ? nullptr : xcb_connect(Display.c_str(), nullptr);
    xcb_window_t Root =
        Connection ? xcb_setup_roots_iterator(xcb_get_setup(Connection)).data->root : 0;
    TFolder Home;
    std::vector<std::string> Saver{std::string(YSTRELO_BINARY_DIR) + "/ystrelo", "/s"};
    std::vector<std::string> Env{"DISPLAY=" + Display, "XDG_RUNTIME_DIR=" + Home.Path,
                                 "XDG_CONFIG_HOME=" + Home.Path, "HOME=" + Home.Path,
                                 "PATH=/usr/bin:/bin"};
    ~TTwoMonitorX11() {
        if (Connection)
            xcb_disconnect(Connection);
        if (!Display.empty())
            Stop(Server);
    }
};

TFigures MeasureX11(double Seconds) {
    TFigures Result;
    const TTwoMonitorX11 X11;
    if (X11.Display.empty()) {
        Result.Problem = "Xvfb did not start";
        return Result;
    }
    xcb_connection_t* Connection = X11.Connection;
    const xcb_window_t Root = X11.Root;
    TPlatform Platform;
    Platform.Command = X11.Saver;
    Platform.Env = X11.Env;
    Platform.Corner = [&] {
        std::vector<std::uint32_t> Pixels;
        xcb_get_image_reply_t* Image = xcb_get_image_reply(
            Connection,
            xcb_get_image(Connection, XCB_IMAGE_FORMAT_Z_PIXMAP, Root, 0, 0, Probe, Probe, ~0u),
            nullptr);
        if (!Image)
            return Pixels;
        const auto* Data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(Image));
        for (int I = 0; I < xcb_get_image_data_length(Image) / 4; ++I)
            Pixels.push_back(Data[I] & 0xFFFFFF);
        free(Image);
        return Pixels;
    };
    return Measure(Platform, Seconds);
}

// A headless sway with two outputs of Width x Height side by side.
class TSwaySession {
public:
    TSwaySession() {
        FUser = geteuid() == 0 ? 100000 + static_cast<uid_t>(getpid()) : geteuid();
        Own(FHome.Path);
        Own(FRuntime.Path);
        chmod(FRuntime.Path.c_str(), 0700);
        std::ofstream(FHome.Path + "/config") << "xwayland disable\ndefault_border none\n";
        Own(FHome.Path + "/config");
        FPid =
            Spawn(AsUser({"/usr/bin/sway", "-c", FHome.Path + "/config", "-D", "damage=rerender"}),
                  {"XDG_RUNTIME_DIR=" + FRuntime.Path, "HOME=" + FHome.Path,
                   "WLR_BACKENDS=headless", "WLR_HEADLESS_OUTPUTS=2", "WLR_RENDERER=pixman",
                   "WLR_LIBINPUT_NO_DEVICES=1", "PATH=/usr/bin:/bin"});
        for (int I = 0; I < 500 && FPid > 0; ++I) {
            for (const auto& Entry : std::filesystem::directory_iterator(FRuntime.Path)) {
                const std::string Name = Entry.path().filename();
                if (Name.rfind("wayland-", 0) == 0 && Name.find(".lock") == std::string::npos)
                    FSocket = Name;
                if (Name.rfind("sway-ipc.", 0) == 0)
                    FIpc = Entry.path();
            }
            if (!FSocket.empty() && !FIpc.empty() &&
                Run({"/usr/bin/swaymsg", "-t", "get_version"}).find("major") != std::string::npos)
                break;
            std::this_thread::sleep_for(20ms);
        }
        for (int I = 1; I <= 2; ++I)
            Run({"/usr/bin/swaymsg", "output", "HEADLESS-" + std::to_string(I), "mode",
                 std::to_string(Width) + "x" + std::to_string(Height), "pos",
                 std::to_string((I - 1) * Width), "0"});
    }
    ~TSwaySession() { Stop(FPid); }
    bool Started() const { return !FSocket.empty() && !FIpc.empty(); }

    std::vector<std::string> AsUser(const std::vector<std::string>& Program) const {
        std::vector<std::string> Argv;
        if (FUser != geteuid())
            Argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(FUser),
                    "--regid=" + std::to_string(FUser), "--clear-groups", "--"};
        Argv.insert(Argv.end(), Program.begin(), Program.end());
        return Argv;
    }
    std::vector<std::string> Env() const {
        return {"XDG_RUNTIME_DIR=" + FRuntime.Path,
                "WAYLAND_DISPLAY=" + FSocket,
                "SWAYSOCK=" + FIpc,
                "HOME=" + FHome.Path,
                "XDG_CONFIG_HOME=" + FHome.Path,
                "PATH=/usr/bin:/bin"};
    }
    std::string Run(const std::vector<std::string>& Program) const {
        std::string Command = "env -i";
        for (const auto& V : Env())
            Command += " " + Quoted(V);
        for (const auto& A : AsUser(Program))
            Command += " " + Quoted(A);
        return Output(Command + " 2>/dev/null");
    }
    const std::string& Home() const { return FHome.Path; }
    void Own(const std::string& Path) const {
        if (FUser != geteuid() && chown(Path.c_str(), FUser, FUser) != 0)
            std::perror(Path.c_str());
    }

private:
    TFolder FHome, FRuntime;
    uid_t FUser = 0;
    pid_t FPid = -1;
    std::string FSocket, FIpc;
};

struct TTrace {
    double LongestPauseMs = 0;
    double MedianPauseMs = 0;
    double Pause95Ms = 0; // 95 of 100 pauses are this long or shorter
    int Commits = 0;
    std::string Path; // the saver's report of the way to Qt's Wayland objects
};

// The commits of a traced run, and the longest pause between two commits of any of its
// windows once start-up is over: while the painter works, some window always has new
// pixels, so that pause bounds how late they reach the compositor.
TTrace Commits(const std::string& Log) {
    constexpr double StartUpMs = 1000;
    TTrace Result;
    std::optional<double> First, Last;
    std::vector<double> Pauses;
    std::ifstream In(Log);
    const std::string Prefix = TWaylandNative::ReportPrefix;
    const std::string Surface = "-> wl_surface";
    for (std::string Line; std::getline(In, Line);) {
        if (Line.rfind(Prefix, 0) == 0)
            Result.Path = Line.substr(Prefix.size());
        // "[1234567.890]  -> wl_surface@25.commit()"; libwayland 1.23 writes
        // "[1234567.890] {Default Queue}  -> wl_surface#25.commit()".
        if (Line.empty() || Line[0] != '[')
            continue;
        const double Ms = std::stod(Line.substr(1));
        if (!First)
            First = Ms;
        const auto At = Line.find(Surface);
        if (At == std::string::npos || At + Surface.size() >= Line.size() ||
            (Line[At + Surface.size()] != '@' && Line[At + Surface.size()] != '#') ||
            Line.find(".commit()", At) == std::string::npos || Ms - *First < StartUpMs)
            continue;
        // The window's surface is committed with its sub-surface: one refresh, one pause.
        if (Last && Ms - *Last > 1)
            Pauses.push_back(Ms - *Last);
        Last = Ms;
        ++Result.Commits;
    }
    std::sort(Pauses.begin(), Pauses.end());
    if (!Pauses.empty()) {
        Result.LongestPauseMs = Pauses.back();
        Result.MedianPauseMs = Pauses[Pauses.size() / 2];
        Result.Pause95Ms = Pauses[Pauses.size() * 95 / 100];
    }
    return Result;
}

TFigures MeasureWayland(double Seconds, TTrace& Trace) {
    TFigures Result;
    TSwaySession Sway;
    if (!Sway.Started()) {
        Result.Problem = "sway did not start";
        return Result;
    }
    TPlatform Platform;
    Platform.Command = Sway.AsUser({std::string(YSTRELO_BINARY_DIR) + "/ystrelo", "/s"});
    Platform.Env = Sway.Env();
    Platform.Corner = [&] {
        std::vector<std::uint32_t> Pixels;
        const std::string Ppm = Sway.Run(
            {"/usr/bin/grim", "-g", "0,0 " + std::to_string(Probe) + "x" + std::to_string(Probe),
             "-t", "ppm", "-"});
        std::istringstream Header(Ppm);
        std::string Magic;
        int W = 0, H = 0, Max = 0;
        Header >> Magic >> W >> H >> Max;
        if (Magic != "P6" || !Header)
            return Pixels;
        const std::size_t Start = static_cast<std::size_t>(Header.tellg()) + 1;
        for (std::size_t I = 0; Start + I * 3 + 2 < Ppm.size() && I < std::size_t(W) * H; ++I) {
            const auto* P = reinterpret_cast<const unsigned char*>(Ppm.data() + Start + I * 3);
            Pixels.push_back(std::uint32_t{P[0]} << 16 | std::uint32_t{P[1]} << 8 | P[2]);
        }
        return Pixels;
    };
    Result = Measure(Platform, Seconds);
    // A second, short run with the protocol traced: tracing costs the main thread time
    // of its own, so it is not the run measured above.
    const std::string Log = Sway.Home() + "/trace";
    std::vector<std::string> Env = Sway.Env();
    Env.push_back("WAYLAND_DEBUG=client");
    Env.push_back(std::string(TWaylandNative::ReportVariable) + "=1");
    const pid_t Traced = Spawn(Platform.Command, Env, Log);
    std::this_thread::sleep_for(TraceFor);
    Stop(Traced);
    Trace = Commits(Log);
    return Result;
}

std::string Memory(const TFigures& F) {
    std::ostringstream Out;
    Out.precision(1);
    Out << std::fixed;
    for (std::size_t I = 0; I < F.Megabytes.size(); ++I)
        Out << (I ? " " : "") << F.Megabytes[I];
    return Out.str();
}
} // namespace

int RunWayland(double Seconds) {
    std::printf("ystrelo /s on two monitors of %dx%d, main thread over %.0f s from the first "
                "new pixels (user + system, per cent of one core)\n\n",
                Width, Height, Seconds);
    std::fflush(stdout);
    const TFigures X11 = MeasureX11(Seconds);
    TTrace Trace;
    const TFigures Wayland = MeasureWayland(Seconds, Trace);
    std::printf("%-9s %10s %10s %16s   %s\n", "platform", "main %", "wake-ups/s", "first pixels ms",
                "resident MB at the first pixels, every 10 s, at the end");
    for (const auto& [Name, F] : {std::pair<const char*, const TFigures&>{"X11", X11},
                                  std::pair<const char*, const TFigures&>{"Wayland", Wayland}}) {
        if (!F.Ran)
            std::printf("%-9s (not measured: %s)\n", Name, F.Problem.c_str());
        else
            std::printf("%-9s %10.2f %10.1f %16.0f   %s\n", Name, F.MainPercent, F.MainWakeups,
                        F.FirstPixelsMs, Memory(F).c_str());
    }
    std::printf("\nWayland, traced for %lld s: %d commits after start-up; pauses between two "
                "refreshes: median %.0f ms, 95 %% within %.0f ms, longest %.0f ms (the longest "
                "include the gaps between two views)\n",
                static_cast<long long>(std::chrono::seconds(TraceFor).count()), Trace.Commits,
                Trace.MedianPauseMs, Trace.Pause95Ms, Trace.LongestPauseMs);
    std::printf("Wayland objects, as the saver reports them: %s\n",
                Trace.Path.empty() ? "(no report: the saver reached no Wayland connection)"
                                   : Trace.Path.c_str());
    return 0;
}

// --screen-off: the saver's cost while nobody can see it. On each desktop `ystrelo /s` runs
// through three phases of SECONDS each: outputs on, off, on again. For each phase the
// painter thread's and the main thread's share of a core (user + system, from /proc),
// and after the second switch the time until new pixels reach the screen (X11: read back
// from the server; Wayland: the first commit of a surface in the protocol trace, which
// adds its own cost to the phases with pixels, and none while off). The off phase is
// measured from the moment the painter came to rest, which the figures give as well:
// where only frame callbacks tell (sway), the saver learns it 2 s after the last frame.
//
//   saver_cost --screen-off [SECONDS]
namespace {
// The painter has come to rest once its processor time has stood still for this long.
constexpr auto RestQuiet = 1500ms;
constexpr auto RestWithin = 20s;
constexpr auto PaintingWithin = 30s;
constexpr int MutterWidth = 1920;
constexpr int MutterHeight = 1080;

// The painter thread of Pid (ystrelo-paint), or 0.
pid_t PainterThread(pid_t Pid) {
    std::error_code Gone;
    for (const auto& Task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(Pid) + "/task", Gone)) {
        std::ifstream Comm(Task.path() / "comm");
        std::string Name;
        std::getline(Comm, Name);
        if (Name == "ystrelo-paint")
            return std::stoi(Task.path().filename());
    }
    return 0;
}

// libwayland's trace stamps each line with the wall clock in microseconds, cut to 32 bits,
// printed in milliseconds.
double TraceStamp(std::chrono::system_clock::time_point At) {
    const auto Us = std::chrono::duration_cast<std::chrono::microseconds>(At.time_since_epoch());
    return static_cast<std::uint32_t>(Us.count()) / 1000.0;
}

// Milliseconds from On to the first commit of a surface in the trace, if any.
std::optional<double> FirstCommitAfter(const std::string& Log, double On) {
    std::ifstream In(Log);
    constexpr double Wrap = 4294967296.0 / 1000;
    for (std::string Line; std::getline(In, Line);) {
        if (Line.empty() || Line[0] != '[' || Line.find("-> wl_surface") == std::string::npos ||
            Line.find(".commit()") == std::string::npos)
            continue;
        double Later = std::stod(Line.substr(1)) - On;
        if (Later < -Wrap / 2)
            Later += Wrap;
        if (Later >= 0 && Later < Wrap / 2)
            return Later;
    }
    return std::nullopt;
}

struct TPhase {
    double Painter = 0, Main = 0; // per cent of a core
};

struct TOffFigures {
    bool Ran = false;
    std::string Problem;
    TPhase On1, Off, On2;
    std::optional<double> RestMs, ResumeMs, NewPixelsMs;
};

// One desktop: how to start the saver, switch the outputs, and see new pixels.
struct TDesktop {
    std::vector<std::string> Command, Env;
    std::string Trace; // the saver's standard error: its protocol trace on Wayland
    std::function<void(bool On)> Outputs;
    // On X11: waits for pixels other than Before and returns when they came.
    std::function<std::vector<std::uint32_t>()> Screen;
};

TOffFigures MeasureScreenOff(const TDesktop& Desktop, double Seconds) {
    TOffFigures Result;
    const pid_t Saver = Spawn(Desktop.Command, Desktop.Env,
                              Desktop.Trace.empty() ? "/dev/null" : Desktop.Trace);
    if (Saver <= 0) {
        Result.Problem = "cannot start the saver";
        return Result;
    }
    pid_t Painter = 0;
    const auto Start = TClock::now();
    while (!(Painter = PainterThread(Saver)) || ThreadTicks(Saver, Painter) == 0) {
        if (waitpid(Saver, nullptr, WNOHANG) == Saver || TClock::now() - Start > PaintingWithin) {
            Result.Problem = "the painter did not start";
            Stop(Saver);
            return Result;
        }
        std::this_thread::sleep_for(20ms);
    }
    const auto Phase = [&](TPhase& Into) {
        const long P = ThreadTicks(Saver, Painter), M = ThreadTicks(Saver, Saver);
        std::this_thread::sleep_for(std::chrono::duration<double>(Seconds));
        const double Ticks = static_cast<double>(sysconf(_SC_CLK_TCK)) * Seconds / 100;
        Into.Painter = (ThreadTicks(Saver, Painter) - P) / Ticks;
        Into.Main = (ThreadTicks(Saver, Saver) - M) / Ticks;
    };
    Phase(Result.On1);
    Desktop.Outputs(false);
    const auto OffAt = TClock::now();
    auto Moved = OffAt;
    for (long Last = ThreadTicks(Saver, Painter);
         TClock::now() - Moved < RestQuiet && TClock::now() - OffAt < RestWithin;) {
        std::this_thread::sleep_for(20ms);
        if (const long Now = ThreadTicks(Saver, Painter); Now != Last) {
            Last = Now;
            Moved = TClock::now();
        }
    }
    if (TClock::now() - Moved >= RestQuiet)
        Result.RestMs = std::chrono::duration<double, std::milli>(Moved - OffAt).count();
    Phase(Result.Off);
    const auto Before = Desktop.Screen ? Desktop.Screen() : std::vector<std::uint32_t>();
    const auto OnAt = TClock::now();
    const auto OnWall = std::chrono::system_clock::now();
    const long Resting = ThreadTicks(Saver, Painter);
    Desktop.Outputs(true);
    // The painter goes on at once; pixels read back may take longer to differ from what
    // the screen showed before: a deep view draws black over black for a while.
    const auto Since = [&] {
        return std::chrono::duration<double, std::milli>(TClock::now() - OnAt).count();
    };
    while (TClock::now() - OnAt < RestWithin && (!Result.ResumeMs || (Desktop.Screen && !Result.NewPixelsMs))) {
        if (!Result.ResumeMs && ThreadTicks(Saver, Painter) != Resting)
            Result.ResumeMs = Since();
        if (Desktop.Screen && !Result.NewPixelsMs && Desktop.Screen() != Before)
            Result.NewPixelsMs = Since();
        if (!Desktop.Screen)
            std::this_thread::sleep_for(5ms);
    }
    Phase(Result.On2);
    if (PainterThread(Saver) != Painter)
        Result.Problem = "a new painter after the outputs came on";
    Stop(Saver);
    if (!Desktop.Trace.empty())
        Result.NewPixelsMs = FirstCommitAfter(Desktop.Trace, TraceStamp(OnWall));
    Result.Ran = true;
    return Result;
}

// Xvfb has no DPMS: its own screen saver blanks instead (xset s activate, xset s reset).
TOffFigures ScreenOffX11(double Seconds) {
    TOffFigures Result;
    const TTwoMonitorX11 X11;
    if (X11.Display.empty()) {
        Result.Problem = "Xvfb did not start";
        return Result;
    }
    xcb_connection_t* Connection = X11.Connection;
    const xcb_window_t Root = X11.Root;
    TDesktop Desktop;
    Desktop.Command = X11.Saver;
    Desktop.Env = X11.Env;
    Desktop.Outputs = [&](bool On) {
        std::system(("DISPLAY=" + X11.Display + " xset s " + (On ? "reset" : "activate")).c_str());
    };
    Desktop.Screen = [&] {
        std::vector<std::uint32_t> Pixels;
        for (int I = 0; I < 2; ++I) {
            xcb_get_image_reply_t* Image = xcb_get_image_reply(
                Connection,
                xcb_get_image(Connection, XCB_IMAGE_FORMAT_Z_PIXMAP, Root, I * Width, 0, Width,
                              Height, ~0u),
                nullptr);
            if (!Image)
                continue;
            const auto* Data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(Image));
            Pixels.insert(Pixels.end(), Data, Data + xcb_get_image_data_length(Image) / 4);
            free(Image);
        }
        return Pixels;
    };
    return MeasureScreenOff(Desktop, Seconds);
}

// sway 1.10 switches a headless output off ("power off"); 1.7 cannot, and shows other
// workspaces instead, which holds back the frames as an output that is off does.
TOffFigures ScreenOffSway(double Seconds, std::string& Version) {
    TOffFigures Result;
    TSwaySession Sway;
    if (!Sway.Started()) {
        Result.Problem = "sway did not start";
        return Result;
    }
    const std::string Reply = Sway.Run({"/usr/bin/swaymsg", "-t", "get_version"});
    const auto At = Reply.find("\"human_readable\": \"");
    Version = At == std::string::npos ? "?" : Reply.substr(At + 19, Reply.find('"', At + 19) - At - 19);
    const bool PowerOff = Version.rfind("1.7", 0) != 0 && Version.rfind("1.8", 0) != 0 &&
                          Version.rfind("1.9", 0) != 0;
    TDesktop Desktop;
    Desktop.Command = Sway.AsUser({std::string(YSTRELO_BINARY_DIR) + "/ystrelo", "/s"});
    Desktop.Env = Sway.Env();
    Desktop.Env.push_back("WAYLAND_DEBUG=client");
    Desktop.Trace = Sway.Home() + "/trace";
    Desktop.Outputs = [&](bool On) {
        if (PowerOff) {
            Sway.Run({"/usr/bin/swaymsg", "output", "*", "power", On ? "on" : "off"});
            return;
        }
        for (const char* Output : {"HEADLESS-2", "HEADLESS-1"})
            Sway.Run({"/usr/bin/swaymsg", std::string("focus output ") + Output + ", workspace " +
                                              (On ? std::string(Output).substr(9) : "off-" + std::string(Output))});
    };
    return MeasureScreenOff(Desktop, Seconds);
}

// A headless mutter with one monitor, on a session bus of its own, as a user of its own
// that the password database knows (mutter needs one): a copy of it bound over
// /etc/passwd in a mount namespace. GNOME's blanking is PowerSaveMode 3.
TOffFigures ScreenOffMutter(double Seconds) {
    TOffFigures Result;
    if (access("/usr/bin/mutter", X_OK) != 0) {
        Result.Problem = "mutter is not installed";
        return Result;
    }
    TFolder Home, Runtime;
    const uid_t User = geteuid() == 0 ? 100001 + static_cast<uid_t>(getpid()) : geteuid();
    std::vector<std::string> Prefix;
    if (User != geteuid()) {
        for (const auto& Folder : {Home.Path, Runtime.Path})
            if (chown(Folder.c_str(), User, User) != 0)
                std::perror(Folder.c_str());
        std::ofstream(Home.Path + "/passwd")
            << std::ifstream("/etc/passwd").rdbuf() << "ystrelo-cost:x:" << User << ":" << User
            << "::" << Home.Path << ":/bin/sh\n";
        Prefix = {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                  "mount --bind " + Home.Path + "/passwd /etc/passwd && exec \"$@\"", "sh",
                  "/usr/bin/setpriv", "--reuid=" + std::to_string(User),
                  "--regid=" + std::to_string(User), "--clear-groups", "--"};
    }
    chmod(Runtime.Path.c_str(), 0700);
    const auto AsUser = [&](std::vector<std::string> Program) {
        Program.insert(Program.begin(), Prefix.begin(), Prefix.end());
        return Program;
    };
    const std::string Address = Home.Path + "/bus";
    const std::vector<std::string> Env{"XDG_RUNTIME_DIR=" + Runtime.Path, "HOME=" + Home.Path,
                                       "XDG_CONFIG_HOME=" + Home.Path, "PATH=/usr/bin:/bin",
                                       "LANG=C.UTF-8"};
    const pid_t Session = Spawn(
        AsUser({"/usr/bin/dbus-run-session", "--", "/bin/sh", "-c",
                "echo \"$DBUS_SESSION_BUS_ADDRESS\" > " + Address +
                    "; exec mutter --wayland --headless --no-x11 --virtual-monitor " +
                    std::to_string(MutterWidth) + "x" + std::to_string(MutterHeight)}),
        Env);
    std::string Bus;
    for (int I = 0; I < 500 && Bus.empty(); ++I) {
        std::this_thread::sleep_for(20ms);
        if (access((Runtime.Path + "/wayland-0").c_str(), F_OK) == 0)
            std::getline(std::ifstream(Address), Bus);
    }
    if (Bus.empty()) {
        Result.Problem = "mutter did not start";
        Stop(Session);
        return Result;
    }
    std::vector<std::string> Client = Env;
    Client.insert(Client.end(), {"DBUS_SESSION_BUS_ADDRESS=" + Bus, "WAYLAND_DISPLAY=wayland-0"});
    TDesktop Desktop;
    Desktop.Command = AsUser({std::string(YSTRELO_BINARY_DIR) + "/ystrelo", "/s"});
    Desktop.Env = Client;
    Desktop.Env.push_back("WAYLAND_DEBUG=client");
    Desktop.Trace = Home.Path + "/trace";
    Desktop.Outputs = [&](bool On) {
        const pid_t Set = Spawn(
            AsUser({"/usr/bin/dbus-send", "--session", "--print-reply",
                    "--dest=org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                    "org.freedesktop.DBus.Properties.Set", "string:org.gnome.Mutter.DisplayConfig",
                    "string:PowerSaveMode", std::string("variant:int32:") + (On ? "0" : "3")}),
            Client);
        waitpid(Set, nullptr, 0);
    };
    Result = MeasureScreenOff(Desktop, Seconds);
    Stop(Session);
    return Result;
}

void PrintScreenOff(const char* Name, const TOffFigures& F) {
    if (!F.Ran) {
        std::printf("%-14s (not measured: %s)\n", Name, F.Problem.c_str());
        return;
    }
    const auto Share = [](const TPhase& P) {
        char Text[32];
        std::snprintf(Text, sizeof Text, "%6.2f %6.3f", P.Painter, P.Main);
        return std::string(Text);
    };
    const auto Ms = [](const std::optional<double>& Value) {
        return Value ? std::to_string(static_cast<long>(*Value)) + " ms" : std::string("never");
    };
    std::printf("%-14s %s   %10s   %s   %s   %10s   %s%s\n", Name, Share(F.On1).c_str(),
                Ms(F.RestMs).c_str(), Share(F.Off).c_str(), Share(F.On2).c_str(),
                Ms(F.ResumeMs).c_str(), Ms(F.NewPixelsMs).c_str(),
                F.Problem.empty() ? "" : ("  (" + F.Problem + ")").c_str());
    std::fflush(stdout);
}
} // namespace

int RunScreenOff(double Seconds) {
    std::printf("ystrelo /s with its outputs on, off and on again, %.0f s each; painter and main "
                "thread in per cent of one core (user + system); the painter's rest after the "
                "outputs went off (the off phase is measured from then on); after they came on, "
                "the painter's work and new pixels (X11: read back; Wayland: the first "
                "commit)\n\n",
                Seconds);
    std::printf("%-14s %13s   %10s   %13s   %13s   %10s   %s\n", "desktop", "on: paint main",
                "rest after", "off: paint main", "on: paint main", "works", "new pixels");
    std::fflush(stdout);
    PrintScreenOff("X11 (Xvfb)", ScreenOffX11(Seconds));
    std::string Version;
    const TOffFigures Sway = ScreenOffSway(Seconds, Version);
    PrintScreenOff(("sway " + Version).c_str(), Sway);
    PrintScreenOff("mutter", ScreenOffMutter(Seconds));
    return 0;
}
