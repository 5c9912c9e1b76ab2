// ystrelo-soak: runs the saver, as saver mode runs it, on monitors of a virtual X server
// of its own for a while, and prints what it costs: resident memory, the CPU of the main
// thread and of the painter, and the views painted, once per interval; at the end the
// averages and the growth of memory per hour after the first minutes.
//
//   ystrelo-soak [--monitors N] [--size WxH] [--minutes M | --seconds S] [--interval S]
//                [--hosted]
//
// --hosted runs one copy inside a window of a pretend screen-saver host of the size given,
// as XScreenSaver starts one per monitor.
#include "config/frConfigure.h"
#include "host/Application.h"
#include "host/FR_Main_Unit.h"
#include "host/HostWindow.h"
#include "host/SaverStartup.h"
#include "host/StartupState.h"
#include "panel/FractalPanel.h"
#include "platform/SignalWatch.h"

#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;
// Memory in the first minutes is start-up (fonts, pools, the first large views), not
// growth.
constexpr double WarmUpMinutes = 5;
constexpr double SecondsPerHour = 3600;
constexpr int HookInterval = 10; // ms
// A timer may fire a little early; the last sample still ends the run.
constexpr double EndSlack = 0.1; // s

struct TOptions {
    int Monitors = 2;
    int Width = 1920;
    int Height = 1080;
    double Seconds = 60;
    double Interval = 60;
    bool Hosted = false;
};

[[noreturn]] void Usage(const char* Problem) {
    std::fprintf(stderr,
                 "ystrelo-soak: %s\nusage: ystrelo-soak [--monitors N] [--size WxH] "
                 "[--minutes M | --seconds S] [--interval S] [--hosted]\n",
                 Problem);
    std::exit(2);
}

TOptions ParseOptions(int Argc, char** Argv) {
    TOptions Options;
    for (int I = 1; I < Argc; ++I) {
        const std::string Name = Argv[I];
        if (Name == "--hosted") {
            Options.Hosted = true;
            continue;
        }
        if (I + 1 >= Argc)
            Usage("an option lacks its value");
        const std::string Value = Argv[++I];
        try {
            if (Name == "--monitors")
                Options.Monitors = std::stoi(Value);
            else if (Name == "--size") {
                const auto X = Value.find('x');
                if (X == std::string::npos)
                    Usage("--size takes WIDTHxHEIGHT");
                Options.Width = std::stoi(Value.substr(0, X));
                Options.Height = std::stoi(Value.substr(X + 1));
            } else if (Name == "--minutes")
                Options.Seconds = std::stod(Value) * 60;
            else if (Name == "--seconds")
                Options.Seconds = std::stod(Value);
            else if (Name == "--interval")
                Options.Interval = std::stod(Value);
            else
                Usage(("unknown option " + Name).c_str());
        } catch (const std::logic_error&) {
            Usage(("not a number: " + Value).c_str());
        }
    }
    if (Options.Monitors < 1 || Options.Width < 64 || Options.Height < 64 || Options.Seconds <= 0 ||
        Options.Interval <= 0)
        Usage("out of range");
    return Options;
}

// An X server of our own on a free display; stopped with the object.
class TServer {
public:
    TServer(int Width, int Height) {
        int Pipe[2];
        if (pipe(Pipe) != 0)
            return;
        std::vector<std::string> Argv{"/usr/bin/Xvfb", "-displayfd", std::to_string(Pipe[1]),
                                      "-screen",       "0",          Size(Width, Height) + "x24",
                                      "-nolisten",     "tcp",        "-noreset"};
        std::vector<char*> ArgvC;
        for (auto& A : Argv)
            ArgvC.push_back(A.data());
        ArgvC.push_back(nullptr);
        posix_spawn_file_actions_t Actions;
        posix_spawn_file_actions_init(&Actions);
        posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
        if (posix_spawn(&FPid, ArgvC[0], &Actions, nullptr, ArgvC.data(), environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&Actions);
        close(Pipe[1]);
        std::string Number;
        char C;
        while (FPid > 0 && read(Pipe[0], &C, 1) == 1 && C != '\n')
            Number += C;
        close(Pipe[0]);
        if (!Number.empty())
            FDisplay = ":" + Number;
    }
    ~TServer() {
        if (FPid > 0) {
            kill(FPid, SIGTERM);
            waitpid(FPid, nullptr, 0);
        }
    }
    const std::string& Display() const { return FDisplay; }
    static std::string Size(int Width, int Height) {
        return std::to_string(Width) + "x" + std::to_string(Height);
    }

private:
    pid_t FPid = -1;
    std::string FDisplay;
};

bool Shell(const std::string& Command) {
    return std::system((Command + " >/dev/null 2>&1").c_str()) == 0;
}

// Monitors side by side, the first primary, as RandR reports them to clients.
bool SplitIntoMonitors(const TOptions& Options) {
    for (int I = 0; I < Options.Monitors; ++I)
        if (!Shell("xrandr --setmonitor " + std::string(I == 0 ? "'*" : "'") + "M" +
                   std::to_string(I) + "' " + std::to_string(Options.Width) + "/300x" +
                   std::to_string(Options.Height) + "/200+" + std::to_string(I * Options.Width) +
                   "+0 none"))
            return false;
    // The server's own monitor spans the screen; switched off, it is gone.
    Shell("xrandr --output screen --off");
    return true;
}

// The pretend host's window, mapped, of the monitor's size.
std::uint32_t MakeHostWindow(xcb_connection_t* Connection, int Width, int Height) {
    xcb_screen_t* Screen = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data;
    const std::uint32_t Window = xcb_generate_id(Connection);
    const std::uint32_t Values[] = {Screen->black_pixel};
    xcb_create_window(Connection, XCB_COPY_FROM_PARENT, Window, Screen->root, 0, 0,
                      static_cast<std::uint16_t>(Width), static_cast<std::uint16_t>(Height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, Screen->root_visual, XCB_CW_BACK_PIXEL,
                      Values);
    xcb_map_window(Connection, Window);
    free(xcb_get_input_focus_reply(Connection, xcb_get_input_focus(Connection), nullptr));
    return Window;
}

struct TThreadTimes {
    long Main = 0;    // clock ticks, user + system
    long Painter = 0; // every other thread of ours that is not one of Qt's
};

long TicksOf(const std::filesystem::path& Stat, std::string& Name) {
    std::ifstream In(Stat);
    std::string Line;
    std::getline(In, Line);
    const auto Open = Line.find('('), Close = Line.rfind(')');
    if (Open == std::string::npos || Close == std::string::npos)
        return 0;
    Name = Line.substr(Open + 1, Close - Open - 1);
    std::istringstream Fields(Line.substr(Close + 2));
    std::string Field;
    long Ticks = 0;
    // After the name: the state is field 3; user and system time are fields 14 and 15.
    for (int Index = 3; Fields >> Field && Index <= 15; ++Index)
        if (Index >= 14)
            Ticks += std::stol(Field);
    return Ticks;
}

TThreadTimes ThreadTimes() {
    TThreadTimes Result;
    const pid_t Self = getpid();
    std::string MainName;
    Result.Main = TicksOf("/proc/self/task/" + std::to_string(Self) + "/stat", MainName);
    for (const auto& Task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (Task.path().filename() == std::to_string(Self))
            continue;
        std::string Name;
        const long Ticks = TicksOf(Task.path() / "stat", Name);
        // The painter is a plain thread and keeps the program's name; Qt names its own.
        if (Name == MainName)
            Result.Painter += Ticks;
    }
    return Result;
}

double ResidentMegabytes() {
    std::ifstream In("/proc/self/status");
    for (std::string Line; std::getline(In, Line);)
        if (Line.rfind("VmRSS:", 0) == 0)
            return std::stod(Line.substr(6)) / 1024;
    return 0;
}

struct TSample {
    double Seconds;
    double Megabytes;
};

// Least-squares slope of memory over time, in megabytes an hour.
double GrowthPerHour(const std::vector<TSample>& Samples) {
    if (Samples.size() < 2)
        return 0;
    double MeanT = 0, MeanM = 0;
    for (const auto& S : Samples) {
        MeanT += S.Seconds;
        MeanM += S.Megabytes;
    }
    MeanT /= Samples.size();
    MeanM /= Samples.size();
    double Num = 0, Den = 0;
    for (const auto& S : Samples) {
        Num += (S.Seconds - MeanT) * (S.Megabytes - MeanM);
        Den += (S.Seconds - MeanT) * (S.Seconds - MeanT);
    }
    return Den > 0 ? Num / Den * SecondsPerHour : 0;
}

int Run(const TOptions& Options, int& Argc, char** Argv) {
    const int ScreenWidth = Options.Hosted ? Options.Width : Options.Width * Options.Monitors;
    TServer Server(ScreenWidth, Options.Height);
    if (Server.Display().empty()) {
        std::fprintf(stderr, "ystrelo-soak: Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", Server.Display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The defaults, never the user's own settings.
    const std::filesystem::path Config =
        std::filesystem::temp_directory_path() / ("ystrelo-soak-" + std::to_string(getpid()));
    std::filesystem::create_directories(Config);
    setenv("XDG_CONFIG_HOME", Config.c_str(), 1);
    if (!Options.Hosted && !SplitIntoMonitors(Options)) {
        std::fprintf(stderr, "ystrelo-soak: xrandr could not split the screen\n");
        return 1;
    }

    // Interrupting the tool still stops its server: the signals end the loop instead. (A
    // host window watches them itself.)
    std::optional<TSignalWatch> Signals;
    xcb_connection_t* HostConnection = nullptr;
    std::unique_ptr<THostWindow> Host;
    if (!Options.Hosted)
        Signals.emplace(std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP});
    else {
        HostConnection = xcb_connect(nullptr, nullptr);
        Host = std::make_unique<THostWindow>(
            MakeHostWindow(HostConnection, Options.Width, Options.Height));
        if (!Host->WaitUntilShown())
            return 1;
    }
    int Result = 0;
    {
        TApplication Application(Argc, Argv);
        QWidget* Main = Host ? StartHostedSaverMode(*Host) : StartSaverMode();
        if (!Main->isVisible())
            Main->show();

        std::printf("%s %d x %s for %.0f s, a line every %.0f s\n",
                    Options.Hosted ? "a hosted copy in a window of" : "saver mode on",
                    Options.Hosted ? 1 : Options.Monitors,
                    TServer::Size(Options.Width, Options.Height).c_str(), Options.Seconds,
                    Options.Interval);
        std::printf("%8s %10s %9s %9s %8s %8s\n", "time", "rss MB", "main %", "painter %", "views",
                    "new");
        std::fflush(stdout);
        const long Ticks = sysconf(_SC_CLK_TCK);
        const auto Start = TClock::now();
        const TThreadTimes First = ThreadTimes();
        TThreadTimes Last = First;
        auto LastTime = Start;
        std::atomic<long> Views{0};
        long LastViews = 0;
        std::vector<TSample> Samples;

        QSocketNotifier Interrupt(Host ? Host->SignalFd() : Signals->Fd(), QSocketNotifier::Read);
        QObject::connect(&Interrupt, &QSocketNotifier::activated, [] { TApplication::exit(1); });
        QTimer Sampler;
        Sampler.setSingleShot(true);
        Sampler.setTimerType(Qt::PreciseTimer);
        const auto NextSample = [&](double Elapsed) {
            Sampler.start(static_cast<int>(
                std::max(1.0, std::min(Options.Interval, Options.Seconds - Elapsed)) * 1000));
        };
        const auto Sample = [&] {
            const auto Now = TClock::now();
            const double Elapsed = std::chrono::duration<double>(Now - Start).count();
            const double Span = std::chrono::duration<double>(Now - LastTime).count();
            const TThreadTimes Times = ThreadTimes();
            const double Megabytes = ResidentMegabytes();
            const long Painted = Views.load();
            std::printf("%7.0fs %10.1f %9.2f %9.1f %8ld %8ld\n", Elapsed, Megabytes,
                        100.0 * (Times.Main - Last.Main) / Ticks / Span,
                        100.0 * (Times.Painter - Last.Painter) / Ticks / Span, Painted,
                        Painted - LastViews);
            std::fflush(stdout);
            Samples.push_back({Elapsed, Megabytes});
            Last = Times;
            LastTime = Now;
            LastViews = Painted;
            if (Elapsed + EndSlack >= Options.Seconds) {
                const double Warm = std::min(WarmUpMinutes * 60, Options.Seconds / 2);
                std::vector<TSample> Settled;
                for (const auto& S : Samples)
                    if (S.Seconds >= Warm)
                        Settled.push_back(S);
                std::printf("average: main thread %.2f %% of a core, painter %.1f %%, %ld views; "
                            "memory %.1f MB, growth after %.0f s: %+.2f MB an hour\n",
                            100.0 * (Times.Main - First.Main) / Ticks / Elapsed,
                            100.0 * (Times.Painter - First.Painter) / Ticks / Elapsed, Painted,
                            Megabytes, Warm, GrowthPerHour(Settled));
                std::fflush(stdout);
                TApplication::exit(0);
                return;
            }
            NextSample(Elapsed);
        };
        QObject::connect(&Sampler, &QTimer::timeout, Sample);
        NextSample(0);
        // Every view is counted from the first: the painter is made at the first idle moment.
        QTimer Hook;
        QObject::connect(&Hook, &QTimer::timeout, [&] {
            if (PrimaryWindow && PrimaryWindow->Panel->Painter()) {
                PrimaryWindow->Panel->Painter()->SetOnIdle([&Views] { ++Views; });
                Hook.stop();
            }
        });
        Hook.start(HookInterval);
        Result = Application.exec();
        if (PrimaryWindow && PrimaryWindow->Panel->Painter())
            PrimaryWindow->Panel->Painter()->SetOnIdle(nullptr);
        EndWindowedMode();
    }
    Host.reset();
    if (HostConnection)
        xcb_disconnect(HostConnection);
    std::filesystem::remove_all(Config);
    return Result;
}

} // namespace

int main(int Argc, char** Argv) {
    const TOptions Options = ParseOptions(Argc, Argv);
    try {
        return Run(Options, Argc, Argv);
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "ystrelo-soak: %s\n", Error.what());
        return 1;
    }
}
