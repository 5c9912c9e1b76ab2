// saver_cost: what the main (GUI) thread of a running saver costs, in per cent of one core
// averaged over a minute, for 1, 2 and 4 monitors of 1920 x 1080, one of 3840 x 2160, and
// a copy in a 1280 x 800 window of a screen-saver host. Each line is one run of
// ystrelo-soak on a virtual X server of its own.
//
// With --wayland it runs `ystrelo /s` itself, on two monitors of 1920 x 1080 twice: on a
// virtual X server split into two RandR monitors, and on a headless sway with two
// outputs (as a user of its own when run as root: sway refuses root). Both runs are
// measured from outside, the same way: the main thread's CPU (user + system, from
// /proc) over SECONDS from the first new pixels on, the time from the start to the first
// new pixels on screen, resident memory every 10 s; and on Wayland, from a short second
// run with the protocol traced, the pauses between two refreshes (commits) once it
// paints, which bound how late new pixels reach the compositor, and how the saver
// reached Qt's Wayland objects, as it reports them in that run (TWaylandNative).
//
//   saver_cost [SECONDS]
//   saver_cost --wayland [SECONDS]
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

int main(int Argc, char** Argv) {
    if (Argc > 1 && std::string(Argv[1]) == "--wayland")
        return RunWayland(Argc > 2 ? std::stod(Argv[2]) : 60);
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

long MainThreadTicks(pid_t Pid) {
    std::ifstream In("/proc/" + std::to_string(Pid) + "/task/" + std::to_string(Pid) + "/stat");
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

TFigures MeasureX11(double Seconds) {
    TFigures Result;
    int Pipe[2];
    if (pipe(Pipe) != 0)
        return Result;
    std::vector<std::string> ServerEnv;
    for (char** E = environ; *E; ++E)
        ServerEnv.push_back(*E);
    const pid_t Server =
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
        Result.Problem = "Xvfb did not start";
        Stop(Server);
        return Result;
    }
    const std::string Display = ":" + Number;
    for (int I = 0; I < 2; ++I)
        std::system(("DISPLAY=" + Display + " xrandr --setmonitor " + (I ? "M1" : "'*M0'") + " " +
                     std::to_string(Width) + "/480x" + std::to_string(Height) + "/270+" +
                     std::to_string(I * Width) + "+0 none >/dev/null 2>&1")
                        .c_str());
    std::system(("DISPLAY=" + Display + " xrandr --output screen --off >/dev/null 2>&1").c_str());
    xcb_connection_t* Connection = xcb_connect(Display.c_str(), nullptr);
    const xcb_window_t Root = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data->root;
    TFolder Home;
    TPlatform Platform;
    Platform.Command = {std::string(YSTRELO_BINARY_DIR) + "/ystrelo", "/s"};
    Platform.Env = {"DISPLAY=" + Display, "XDG_RUNTIME_DIR=" + Home.Path,
                    "XDG_CONFIG_HOME=" + Home.Path, "HOME=" + Home.Path, "PATH=/usr/bin:/bin"};
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
    Result = Measure(Platform, Seconds);
    xcb_disconnect(Connection);
    Stop(Server);
    return Result;
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
    std::printf("%-9s %10s %16s   %s\n", "platform", "main %", "first pixels ms",
                "resident MB at the first pixels, every 10 s, at the end");
    for (const auto& [Name, F] : {std::pair<const char*, const TFigures&>{"X11", X11},
                                  std::pair<const char*, const TFigures&>{"Wayland", Wayland}}) {
        if (!F.Ran)
            std::printf("%-9s (not measured: %s)\n", Name, F.Problem.c_str());
        else
            std::printf("%-9s %10.2f %16.0f   %s\n", Name, F.MainPercent, F.FirstPixelsMs,
                        Memory(F).c_str());
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
