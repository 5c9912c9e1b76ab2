#include "tests/host/HostTestSupport.h"

#include "engine/SaverPaint.h"

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
std::vector<char*> CStrings(std::vector<std::string>& Strings) {
    std::vector<char*> Result;
    for (auto& S : Strings)
        Result.push_back(S.data());
    Result.push_back(nullptr);
    return Result;
}

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& Set,
                                          const std::vector<std::string>& Unset) {
    std::vector<std::string> Result;
    for (char** E = environ; *E; ++E) {
        const std::string Entry = *E;
        const std::string Name = Entry.substr(0, Entry.find('='));
        bool Drop = false;
        for (const auto& U : Unset)
            Drop = Drop || U == Name;
        for (const auto& S : Set)
            Drop = Drop || S.substr(0, S.find('=')) == Name;
        if (!Drop)
            Result.push_back(Entry);
    }
    Result.insert(Result.end(), Set.begin(), Set.end());
    return Result;
}
} // namespace

TTempDir::TTempDir() {
    std::string Template =
        (std::filesystem::temp_directory_path() / "ystrelo-test-XXXXXX").string();
    if (!mkdtemp(Template.data()))
        throw std::runtime_error("mkdtemp failed");
    FPath = Template;
}

TTempDir::~TTempDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
}

std::string ReadFile(const std::string& Path) {
    std::ifstream In(Path);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

std::string YstreloBinary() {
    return std::string(YSTRELO_BINARY_DIR) + "/ystrelo";
}

TChild::TChild(const std::vector<std::string>& Arguments, const std::vector<std::string>& Set,
               const std::vector<std::string>& Unset) {
    std::vector<std::string> Argv = Arguments;
    std::vector<std::string> Env = ChildEnvironment(Set, Unset);
    auto ArgvC = CStrings(Argv);
    auto EnvC = CStrings(Env);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string Out = FDir.Path() + "/stdout";
    const std::string Err = FDir.Path() + "/stderr";
    posix_spawn_file_actions_addopen(&Actions, 1, Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&Actions, 2, Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int Error = posix_spawn(&FPid, ArgvC[0], &Actions, nullptr, ArgvC.data(), EnvC.data());
    posix_spawn_file_actions_destroy(&Actions);
    if (Error != 0)
        throw std::runtime_error("cannot start " + Arguments[0] + ": " + std::strerror(Error));
}

TProcess::~TProcess() {
    if (FPid > 0 && !FStatus) {
        kill(FPid, SIGKILL);
        Wait(10s);
    }
}

std::optional<int> TProcess::Wait(std::chrono::milliseconds Timeout) {
    WaitUntil([this] { return !Running(); }, Timeout);
    return FStatus;
}

bool TProcess::Running() {
    if (FStatus)
        return false;
    int Status = 0;
    if (waitpid(FPid, &Status, WNOHANG) == FPid)
        FStatus = Status;
    return !FStatus;
}

void TProcess::Signal(int Number) {
    if (!FStatus)
        kill(FPid, Number);
}

bool ExitedWith(const std::optional<int>& Status, int Code) {
    return Status && WIFEXITED(*Status) && WEXITSTATUS(*Status) == Code;
}

bool TRunResult::ExitedWith(int Code) const {
    return ::ExitedWith(Status, Code);
}

TRunResult RunYstrelo(const std::vector<std::string>& Arguments,
                      const std::vector<std::string>& Set, std::chrono::milliseconds Timeout) {
    std::vector<std::string> Argv{YstreloBinary()};
    Argv.insert(Argv.end(), Arguments.begin(), Arguments.end());
    TChild Child(Argv, Set);
    TRunResult Result;
    const auto Status = Child.Wait(Timeout);
    EXPECT_TRUE(Status.has_value()) << "ystrelo did not end";
    Result.Status = Status.value_or(-1);
    Result.Stderr = Child.Stderr();
    return Result;
}

TXvfb::TXvfb(int Width, int Height, TReset Reset)
    : TXvfb(std::vector<std::string>{std::to_string(Width) + "x" + std::to_string(Height) + "x24"},
            Reset) {}

std::string StartXServer(std::vector<std::string> Argv, pid_t& Pid) {
    Pid = -1;
    // -displayfd lets the server pick a free display number itself and tell us, so
    // parallel tests never race for one.
    int Pipe[2];
    if (pipe(Pipe) != 0)
        return {};
    Argv.insert(Argv.begin() + 1, {"-displayfd", std::to_string(Pipe[1])});
    auto ArgvC = CStrings(Argv);
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
    const int Error = posix_spawn(&Pid, ArgvC[0], &Actions, nullptr, ArgvC.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Pipe[1]);
    if (Error != 0) {
        Pid = -1;
        close(Pipe[0]);
        return {};
    }
    std::string Number;
    char C;
    while (read(Pipe[0], &C, 1) == 1 && C != '\n')
        Number += C;
    close(Pipe[0]);
    return Number.empty() ? std::string() : ":" + Number;
}

TXvfb::TXvfb(const std::vector<std::string>& Screens, TReset Reset) {
    std::vector<std::string> Argv{"/usr/bin/Xvfb", "-nolisten", "tcp"};
    if (Reset == TReset::Never)
        Argv.push_back("-noreset");
    for (std::size_t Screen = 0; Screen < Screens.size(); ++Screen)
        Argv.insert(Argv.end(), {"-screen", std::to_string(Screen), Screens[Screen]});
    FDisplay = StartXServer(Argv, FPid);
}

void TXvfb::Kill() {
    if (FPid > 0) {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
    FPid = -1;
}

void TXvfb::Freeze() {
    if (FPid > 0)
        kill(FPid, SIGSTOP);
}

void TXvfb::Thaw() {
    if (FPid > 0)
        kill(FPid, SIGCONT);
}

TXvfb::~TXvfb() {
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        kill(FPid, SIGCONT);
        int Status;
        waitpid(FPid, &Status, 0);
    }
}

TNoXServer::TNoXServer() {
    // Far above the numbers the tests' servers take, so that none of them has to move.
    for (int Number = 600 + getpid() % 300; Number < 1200 && FDisplay.empty(); ++Number) {
        const std::string Path = "/tmp/.X11-unix/X" + std::to_string(Number);
        sockaddr_un Address{};
        Address.sun_family = AF_UNIX;
        // Abstract: a name that starts with a zero byte and is no file.
        std::memcpy(Address.sun_path + 1, Path.data(), Path.size());
        const int Socket = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (Socket < 0)
            break;
        // Never listening, so that a client is refused. Where the socket file exists, a
        // server may listen on the file alone: not ours to take.
        if (bind(Socket, reinterpret_cast<const sockaddr*>(&Address),
                 socklen_t(offsetof(sockaddr_un, sun_path) + 1 + Path.size())) == 0 &&
            !std::filesystem::exists(Path)) {
            FSocket = Socket;
            FDisplay = ":" + std::to_string(Number);
        } else {
            close(Socket);
        }
    }
    EXPECT_FALSE(FDisplay.empty()) << "no display number could be held";
}

TNoXServer::~TNoXServer() {
    if (FSocket >= 0)
        close(FSocket);
}

namespace {
constexpr uid_t FirstOtherUser = 100000;

// Can another user run the built program? Every folder on the way must let them pass.
bool OthersCanRun(const std::filesystem::path& Program) {
    struct stat Info {};
    if (stat(Program.c_str(), &Info) != 0 || !(Info.st_mode & S_IXOTH))
        return false;
    for (auto Folder = Program.parent_path(); !Folder.empty() && Folder != "/";
         Folder = Folder.parent_path())
        if (stat(Folder.c_str(), &Info) != 0 || !(Info.st_mode & S_IXOTH))
            return false;
    return true;
}
} // namespace

uid_t TestUser() {
    if (geteuid() == 0 && OthersCanRun(YstreloBinary()))
        return FirstOtherUser + static_cast<uid_t>(getpid());
    return geteuid();
}

TBusDaemon::TBusDaemon()
    : TChild(
          {"/usr/bin/dbus-daemon", "--session", "--nofork", "--syslog-only", "--print-address=2"},
          {}) {}

std::string TBusDaemon::Address(std::chrono::milliseconds Timeout) const {
    // The address is the line that starts with its transport; a warning may come first.
    std::string Address;
    WaitUntil(
        [&] {
            const std::string Printed = Stderr();
            const auto At = Printed.find("unix:");
            const auto End = Printed.find('\n', At);
            if (At == std::string::npos || End == std::string::npos)
                return false;
            Address = Printed.substr(At, End - At);
            return true;
        },
        Timeout);
    return Address;
}

std::string RunCommand(const std::string& Display, const std::string& Command) {
    std::string Output;
    if (FILE* Pipe = popen(("DISPLAY=" + Display + " " + Command).c_str(), "r")) {
        char Buffer[256];
        while (fgets(Buffer, sizeof Buffer, Pipe))
            Output += Buffer;
        pclose(Pipe);
    }
    return Output;
}

bool SplitIntoMonitors(const std::string& Display, const std::vector<TMonitorSpec>& Monitors) {
    // Millimetres are made up: RandR wants some.
    constexpr int PixelsPerMillimetre = 4;
    for (std::size_t I = 0; I < Monitors.size(); ++I) {
        const TMonitorSpec& M = Monitors[I];
        const std::string Name = (I == 0 ? "'*M" : "'M") + std::to_string(I) + "'";
        const std::string Geometry =
            std::to_string(M.Width) + "/" + std::to_string(M.Width / PixelsPerMillimetre) + "x" +
            std::to_string(M.Height) + "/" + std::to_string(M.Height / PixelsPerMillimetre) + "+" +
            std::to_string(M.X) + "+" + std::to_string(M.Y);
        if (RunCommand(Display, "xrandr --setmonitor " + Name + " " + Geometry +
                                    " none >/dev/null 2>&1 && echo ok") != "ok\n")
            return false;
    }
    // The server's own monitor spans the whole screen; switching its output off removes
    // it (xrandr complains about the screen size it cannot change, which does not matter).
    RunCommand(Display, "xrandr --output screen --off >/dev/null 2>&1");
    return RunCommand(Display, "xrandr --listmonitors")
               .find("Monitors: " + std::to_string(Monitors.size())) != std::string::npos;
}

TX11Client::TX11Client(const std::string& Display) {
    int Number = 0;
    FConnection = xcb_connect(Display.c_str(), &Number);
    if (xcb_connection_has_error(FConnection))
        throw std::runtime_error("cannot connect to " + Display);
    auto Screens = xcb_setup_roots_iterator(xcb_get_setup(FConnection));
    for (; Number > 0 && Screens.rem > 1; --Number)
        xcb_screen_next(&Screens);
    FScreen = Screens.data;
}

TX11Client::~TX11Client() {
    xcb_disconnect(FConnection);
}

xcb_window_t TX11Client::CreateWindow(xcb_window_t Parent, int Width, int Height,
                                      std::uint32_t Background, bool OverrideRedirect) {
    const xcb_window_t Window = xcb_generate_id(FConnection);
    const std::uint32_t Values[] = {Background, OverrideRedirect ? 1u : 0u};
    xcb_create_window(FConnection, XCB_COPY_FROM_PARENT, Window, Parent, 0, 0,
                      static_cast<std::uint16_t>(Width), static_cast<std::uint16_t>(Height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, FScreen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, Values);
    free(xcb_get_input_focus_reply(FConnection, xcb_get_input_focus(FConnection), nullptr));
    return Window;
}

void TX11Client::Map(xcb_window_t Window) {
    xcb_map_window(FConnection, Window);
    free(xcb_get_input_focus_reply(FConnection, xcb_get_input_focus(FConnection), nullptr));
}

void TX11Client::Unmap(xcb_window_t Window) {
    xcb_unmap_window(FConnection, Window);
    free(xcb_get_input_focus_reply(FConnection, xcb_get_input_focus(FConnection), nullptr));
}

void TX11Client::Destroy(xcb_window_t Window) {
    xcb_destroy_window(FConnection, Window);
    free(xcb_get_input_focus_reply(FConnection, xcb_get_input_focus(FConnection), nullptr));
}

std::vector<std::uint32_t> TX11Client::Pixels(xcb_window_t Window, int Width, int Height) {
    std::vector<std::uint32_t> Result;
    xcb_get_image_reply_t* Image = xcb_get_image_reply(
        FConnection,
        xcb_get_image(FConnection, XCB_IMAGE_FORMAT_Z_PIXMAP, Window, 0, 0,
                      static_cast<std::uint16_t>(Width), static_cast<std::uint16_t>(Height), ~0u),
        nullptr);
    if (!Image)
        return Result;
    const auto* Data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(Image));
    const int Count = xcb_get_image_data_length(Image) / 4;
    for (int I = 0; I < Count; ++I)
        Result.push_back(Data[I] & 0xFFFFFF);
    free(Image);
    return Result;
}

bool FractalShown(TX11Client& Client, xcb_window_t Window, int Width, int Height,
                  std::uint32_t Background) {
    constexpr std::size_t MinColours = 8;
    constexpr std::size_t MaxBackgroundPercent = 1;
    const auto Pixels = Client.Pixels(Window, Width, Height);
    if (Pixels.size() != static_cast<std::size_t>(Width) * Height)
        return false;
    std::set<std::uint32_t> Colours;
    std::size_t Left = 0;
    for (auto P : Pixels) {
        Colours.insert(P);
        Left += P == Background;
    }
    return Colours.size() >= MinColours && Left * 100 < Pixels.size() * MaxBackgroundPercent;
}

void KillProcessesOf(uid_t User) {
    for (const auto& Entry : std::filesystem::directory_iterator("/proc")) {
        struct stat Info {};
        const std::string Name = Entry.path().filename();
        if (Name.find_first_not_of("0123456789") == std::string::npos &&
            stat(Entry.path().c_str(), &Info) == 0 && Info.st_uid == User)
            kill(std::stoi(Name), SIGKILL);
    }
}

// CPU time a thread used so far, in clock ticks (user + system).
bool HasThread(pid_t Pid, const std::string& Prefix) {
    std::error_code Gone;
    for (const auto& Task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(Pid) + "/task", Gone))
        if (ReadFile(Task.path().string() + "/comm").rfind(Prefix, 0) == 0)
            return true;
    return false;
}

long ThreadTicks(pid_t Pid, pid_t Tid) {
    std::ifstream In("/proc/" + std::to_string(Pid) + "/task/" + std::to_string(Tid) + "/stat");
    std::string Line;
    std::getline(In, Line);
    std::istringstream Fields(Line.substr(Line.rfind(')') + 2));
    std::string Field;
    long UserTicks = 0, SystemTicks = 0;
    // After the command name: state is field 3; utime and stime are fields 14 and 15.
    for (int Index = 3; Fields >> Field; ++Index) {
        if (Index == 14)
            UserTicks = std::stol(Field);
        if (Index == 15) {
            SystemTicks = std::stol(Field);
            break;
        }
    }
    return UserTicks + SystemTicks;
}

pid_t TPainterWatch::Find() const {
    std::error_code Gone;
    for (const auto& Task : std::filesystem::directory_iterator(
             "/proc/" + std::to_string(FProgram) + "/task", Gone))
        if (ReadFile(Task.path().string() + "/comm") == std::string(TSaverPaint::PainterThreadName) + "\n")
            return std::stoi(Task.path().filename());
    return 0;
}

long TPainterWatch::Ticks() const {
    return FThread ? ThreadTicks(FProgram, FThread) : 0;
}

bool TPainterWatch::Works(std::chrono::milliseconds Within) {
    if (!FThread && !WaitUntil([&] { return (FThread = Find()) != 0; }, Within))
        return false;
    const long Before = Ticks();
    return WaitUntil([&] { return Ticks() > Before; }, Within);
}

bool TPainterWatch::Rests(std::chrono::milliseconds Within) {
    const auto End = std::chrono::steady_clock::now() + Within;
    if (!FThread && !WaitUntil([&] { return (FThread = Find()) != 0; }, Within))
        return false;
    while (std::chrono::steady_clock::now() + Quiet <= End) {
        const long Before = Ticks();
        std::this_thread::sleep_for(Quiet);
        if (Ticks() == Before)
            return true;
    }
    return false;
}

bool TPainterWatch::SamePainter() const {
    return FThread != 0 && Find() == FThread;
}

void TPainterWatch::ExpectRestWhileHidden(const std::function<void()>& Hide,
                                          const std::function<void()>& Show,
                                          std::chrono::milliseconds StartWithin,
                                          std::chrono::milliseconds RestWithin,
                                          std::chrono::milliseconds GoOnWithin) {
    ASSERT_TRUE(Works(StartWithin)) << "the painter did not start";
    Hide();
    EXPECT_TRUE(Rests(RestWithin)) << "the painter did not rest";
    Show();
    EXPECT_TRUE(Works(GoOnWithin)) << "the painter did not go on";
    EXPECT_TRUE(SamePainter()) << "a new painter";
}
