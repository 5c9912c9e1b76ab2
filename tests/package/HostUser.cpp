#include "tests/package/HostUser.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr const char* UserName = "ystrelo-test";

void Own(const std::string& Path, uid_t User) {
    if (chown(Path.c_str(), User, User) != 0)
        ADD_FAILURE() << "cannot hand " << Path << " to the test's user";
}

std::vector<std::string> NulSeparated(const std::string& Text) {
    std::vector<std::string> Result;
    std::size_t Start = 0;
    while (Start < Text.size()) {
        const std::size_t End = Text.find('\0', Start);
        Result.push_back(Text.substr(Start, End - Start));
        if (End == std::string::npos)
            break;
        Start = End + 1;
    }
    return Result;
}

char State(pid_t Pid) {
    const std::string Stat = ReadFile("/proc/" + std::to_string(Pid) + "/stat");
    const std::size_t Paren = Stat.rfind(')');
    return Paren == std::string::npos || Paren + 2 >= Stat.size() ? '?' : Stat[Paren + 2];
}
} // namespace

const char* const THostUser::Settings = RedAndBlueSettings;

THostUser::THostUser() : FUid(TestUser()) {
    if (FUid != geteuid()) {
        Own(Home(), FUid);
        // The password database with the user in it, bound over /etc/passwd in a mount
        // namespace of each process we start; the machine's own file stays as it is.
        FPasswd = Home() + "/.passwd";
        std::ofstream(FPasswd) << ReadFile("/etc/passwd") << UserName << ":x:" << FUid << ":"
                               << FUid << ":Ystrelo test:" << Home() << ":/bin/sh\n";
        chmod(FPasswd.c_str(), 0644);
    }
    Write(".config/Ystrelo.ini", Settings);
}

THostUser::~THostUser() {
    // Until none is left: a process killed runs on for a moment, and the next test (the
    // same user) must not take it for one of its own.
    if (FUid != geteuid())
        WaitUntil(
            [&] {
                for (const pid_t Pid : Processes())
                    kill(Pid, SIGKILL);
                Reap();
                return Processes().empty();
            },
            10s);
    if (FUid != geteuid())
        unlink(("/tmp/Korvanel-" + std::to_string(FUid)).c_str());
}

void THostUser::Write(const std::string& RelativePath, const std::string& Text) const {
    const std::filesystem::path Path = std::filesystem::path(Home()) / RelativePath;
    std::vector<std::filesystem::path> Folders;
    for (auto Folder = Path.parent_path(); Folder.string().size() > Home().size();
         Folder = Folder.parent_path())
        Folders.insert(Folders.begin(), Folder);
    for (const auto& Folder : Folders)
        if (std::filesystem::create_directory(Folder) && FUid != geteuid())
            Own(Folder, FUid);
    std::ofstream(Path) << Text;
    if (FUid != geteuid())
        Own(Path, FUid);
}

std::unique_ptr<TChild> THostUser::Run(const std::vector<std::string>& Program,
                                       const std::vector<std::string>& Environment) const {
    std::vector<std::string> Argv;
    if (FUid != geteuid())
        Argv = {"/usr/bin/unshare",
                "--mount",
                "--propagation",
                "private",
                "--",
                "/bin/sh",
                "-c",
                "mount --bind \"$0\" /etc/passwd && exec \"$@\"",
                FPasswd,
                "/usr/bin/setpriv",
                "--reuid=" + std::to_string(FUid),
                "--regid=" + std::to_string(FUid),
                "--clear-groups",
                "--"};
    Argv.insert(Argv.end(),
                {"/usr/bin/env", "-i", "HOME=" + Home(), std::string("USER=") + UserName,
                 std::string("LOGNAME=") + UserName, "PATH=/usr/bin:/bin"});
    Argv.insert(Argv.end(), Environment.begin(), Environment.end());
    Argv.insert(Argv.end(), Program.begin(), Program.end());
    return std::make_unique<TChild>(Argv, std::vector<std::string>{});
}

std::vector<pid_t> THostUser::Processes() const {
    std::vector<pid_t> Result;
    for (const auto& Entry : std::filesystem::directory_iterator("/proc")) {
        const std::string Name = Entry.path().filename();
        struct stat Info {};
        if (Name.find_first_not_of("0123456789") == std::string::npos &&
            stat(Entry.path().c_str(), &Info) == 0 && Info.st_uid == FUid) {
            const pid_t Pid = std::stoi(Name);
            if (Pid != getpid() && State(Pid) != 'Z' && State(Pid) != '?')
                Result.push_back(Pid);
        }
    }
    return Result;
}

std::vector<pid_t> THostUser::Copies() const {
    // The program file itself, not the path its link reads: a process in a mount namespace
    // or root of its own (the user's, a chroot's) names it by a path we may not see.
    struct stat Installed {};
    if (stat(InstalledProgram, &Installed) != 0)
        return {};
    std::vector<pid_t> Result;
    for (const pid_t Pid : Processes()) {
        struct stat Program {};
        if (stat(("/proc/" + std::to_string(Pid) + "/exe").c_str(), &Program) == 0 &&
            Program.st_dev == Installed.st_dev && Program.st_ino == Installed.st_ino)
            Result.push_back(Pid);
    }
    return Result;
}

void THostUser::Reap() const {
    for (const auto& Entry : std::filesystem::directory_iterator("/proc")) {
        const std::string Name = Entry.path().filename();
        struct stat Info {};
        if (Name.find_first_not_of("0123456789") == std::string::npos &&
            stat(Entry.path().c_str(), &Info) == 0 && Info.st_uid == FUid)
            waitpid(std::stoi(Name), nullptr, WNOHANG | __WALL);
    }
}

std::vector<std::string> SessionEnvironment(const std::string& Runtime) {
    const std::string Build = YstreloBinary().substr(0, YstreloBinary().rfind('/'));
    std::vector<std::string> Result{"LANG=C.UTF-8", "PATH=" + Build + ":/usr/bin:/bin",
                                    "XDG_RUNTIME_DIR=" + Runtime};
#ifdef __SANITIZE_ADDRESS__
    // As for sway's clients (tests/wayland/Sway.cpp): a full unwind reaches the suppressed
    // libraries past libwayland-client.
    Result.push_back("ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0");
#endif
    for (const char* Sanitizer : {"LSAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* Value = std::getenv(Sanitizer))
            Result.push_back(std::string(Sanitizer) + "=" + Value);
    return Result;
}

std::vector<std::string> Arguments(pid_t Pid) {
    return NulSeparated(ReadFile("/proc/" + std::to_string(Pid) + "/cmdline"));
}

std::map<std::string, std::string> Environment(pid_t Pid) {
    std::map<std::string, std::string> Result;
    for (const auto& Entry : NulSeparated(ReadFile("/proc/" + std::to_string(Pid) + "/environ"))) {
        const std::size_t Equals = Entry.find('=');
        if (Equals != std::string::npos)
            Result[Entry.substr(0, Equals)] = Entry.substr(Equals + 1);
    }
    return Result;
}

std::string Describe(pid_t Pid) {
    std::string Result = std::to_string(Pid) + ":";
    for (const auto& Argument : Arguments(Pid))
        Result += " " + Argument;
    return Result;
}

bool ZoomInUserHues(const std::vector<std::uint32_t>& Pixels) {
    constexpr std::size_t MinShades = 8;
    std::set<std::uint32_t> Shades;
    for (const std::uint32_t P : Pixels) {
        const std::uint32_t R = P >> 16 & 0xFF, G = P >> 8 & 0xFF, B = P & 0xFF;
        if (G != 0 || (R != 0 && B != 0))
            return false;
        Shades.insert(P);
    }
    return Shades.size() >= MinShades;
}

std::string DescribePicture(const std::vector<std::uint32_t>& Pixels) {
    std::set<std::uint32_t> Shades(Pixels.begin(), Pixels.end());
    std::string Result =
        std::to_string(Pixels.size()) + " pixels, " + std::to_string(Shades.size()) + " shades";
    for (std::size_t I = 0; I < Pixels.size(); ++I) {
        const std::uint32_t P = Pixels[I];
        if ((P >> 8 & 0xFF) != 0 || ((P >> 16 & 0xFF) != 0 && (P & 0xFF) != 0)) {
            char Hex[16];
            std::snprintf(Hex, sizeof Hex, "#%06X", P);
            Result += ", pixel " + std::to_string(I) + " is " + Hex;
            break;
        }
    }
    return Result;
}

std::pair<int, int> WindowSize(const std::string& Display, std::uint32_t Window) {
    std::istringstream Lines(RunCommand(Display, "xwininfo -id " + std::to_string(Window)));
    std::string Line;
    int Width = 0, Height = 0;
    while (std::getline(Lines, Line)) {
        if (Line.find("  Width: ") == 0)
            Width = std::stoi(Line.substr(9));
        if (Line.find("  Height: ") == 0)
            Height = std::stoi(Line.substr(10));
    }
    return {Width, Height};
}
