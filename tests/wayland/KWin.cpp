#include "tests/wayland/KWin.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QVariantMap>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr const char* Program = "/usr/bin/kwin_wayland";
constexpr const char* Socket = "wayland-0";
constexpr auto StartWithin = 30s;
constexpr auto AnswerWithin = 10s;
constexpr const char* KWinService = "org.kde.KWin";
constexpr const char* ScreenShotService = "org.kde.KWin.ScreenShot2";
// Lets the test (root) onto the bus of the test's user besides that user.
constexpr const char* BusPolicy =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig>\n"
    "  <include>/usr/share/dbus-1/session.conf</include>\n"
    "  <policy context=\"default\"><allow user=\"*\"/></policy>\n"
    "</busconfig>\n";
// Every application the user's data folders hold.
constexpr const char* ApplicationsMenu =
    "<Menu><Name>Applications</Name><DefaultAppDirs/><Include><All/></Include></Menu>\n";
// Lines of the window list a script prints, among KWin's own.
constexpr const char* WindowMark = "ystrelo-window|";
constexpr const char* ListEndMark = "ystrelo-windows-end ";

// The pixel formats of QImage whose pixels are 32-bit words 0xAARRGGBB: KWin 5.27's
// screenshots come as Format_ARGB32_Premultiplied.
constexpr unsigned Rgb32 = 4, Argb32Premultiplied = 6;

// The script's report, one line per window, "|" between the fields.
std::string WindowScript(int Number) {
    return "var list = workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
           "for (var i = 0; i < list.length; ++i) {\n"
           "    var w = list[i];\n"
           "    print('" +
           std::string(WindowMark) +
           "' + w.caption + '|' + w.x + '|' + w.y + '|' + w.width + '|' +\n"
           "          w.height + '|' + w.fullScreen);\n"
           "}\n"
           "print('" +
           ListEndMark + std::to_string(Number) + "');\n";
}

std::vector<std::string> Fields(const std::string& Line) {
    std::vector<std::string> Result;
    std::istringstream Split(Line);
    for (std::string Field; std::getline(Split, Field, '|');)
        Result.push_back(Field);
    return Result;
}

// Everything the pipe brings until KWin closes its end, or nothing if it stalls.
std::string ReadAll(int Fd) {
    std::string Data;
    char Buffer[65536];
    for (;;) {
        pollfd Wait{Fd, POLLIN, 0};
        if (poll(&Wait, 1, static_cast<int>(std::chrono::milliseconds(AnswerWithin).count())) <= 0)
            return {};
        const ssize_t Read = read(Fd, Buffer, sizeof Buffer);
        if (Read < 0 && errno == EINTR)
            continue;
        if (Read <= 0)
            return Data;
        Data.append(Buffer, static_cast<std::size_t>(Read));
    }
}
} // namespace

std::string TKWin::Unavailable() {
#ifdef __SANITIZE_THREAD__
    // Qt's Wayland platform runs threads of its own in libraries not built for
    // ThreadSanitizer; the saver's threading runs under it on the offscreen platform.
    return "the program on a compositor is not run under ThreadSanitizer";
#endif
    for (const char* Needed : {Program, "/usr/bin/dbus-run-session", "/usr/bin/kscreen-doctor"})
        if (access(Needed, F_OK) != 0)
            return std::string(Needed) + " is not installed";
    if (TestUser() == 0)
        return "KWin's user must not be root, and other users cannot run the build";
    return {};
}

TKWin::TKWin()
    : FConnection("kwin-test-" + std::to_string(reinterpret_cast<std::uintptr_t>(this))) {
    if (FUser.Uid() != geteuid() && chown(FRuntime.Path().c_str(), FUser.Uid(), FUser.Uid()) != 0)
        std::perror(FRuntime.Path().c_str());
    chmod(FRuntime.Path().c_str(), 0700);
    // A copy carries no file capability, and needs none: 5.27 raises its file limit with
    // it, 6.3 its scheduling priority.
    chmod(FProgram.Path().c_str(), 0755);
    const std::string KWin = FProgram.Path() + "/kwin_wayland";
    const std::string Policy = FProgram.Path() + "/bus.conf";
    std::error_code Error;
    if (!std::filesystem::copy_file(Program, KWin, Error)) {
        FError = "cannot copy " + std::string(Program) + ": " + Error.message();
        return;
    }
    chmod(KWin.c_str(), 0755);
    std::ofstream(Policy) << BusPolicy;
    chmod(Policy.c_str(), 0644);
    if (FILE* Pipe = popen((KWin + " --version 2>/dev/null").c_str(), "r")) {
        char Line[128] = {};
        if (std::fgets(Line, sizeof Line, Pipe)) {
            const std::string Said = Line;
            FVersion = Said.substr(Said.rfind(' ') + 1);
            if (!FVersion.empty() && FVersion.back() == '\n')
                FVersion.pop_back();
        }
        pclose(Pipe);
    }

    // KWin offers its fake input to the programs a desktop file grants it to, among the
    // applications its menu lists; 6.3 finds no menu without Plasma's own, so the user
    // gets one. (Granting everything to every client, KWIN_WAYLAND_NO_PERMISSION_CHECKS,
    // makes 5.27 take most of a second over every new connection.)
    FUser.Write(".local/share/applications/ystrelo-test-pointer.desktop",
                "[Desktop Entry]\nType=Application\nName=Test pointer\nNoDisplay=true\nExec=" +
                    std::filesystem::canonical(YSTRELO_WAYLAND_POINTER).string() +
                    "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
    FUser.Write(".config/menus/applications.menu", ApplicationsMenu);
    // The bus's address comes out through a file; KWin is the session's one process.
    const std::string Address = FRuntime.Path() + "/bus-address";
    const std::string Pid = FRuntime.Path() + "/kwin-pid";
    FSession = FUser.Run(
        {"/usr/bin/dbus-run-session", "--config-file=" + Policy, "--", "/bin/sh", "-c",
         "echo \"$DBUS_SESSION_BUS_ADDRESS\" > " + Address + "; echo $$ > " + Pid + "; exec " +
             KWin + " --virtual --no-lockscreen --socket " + Socket + " --width " +
             std::to_string(OutputWidth) + " --height " + std::to_string(OutputHeight) +
             " --output-count " + std::to_string(Outputs)},
        {"LANG=C.UTF-8", "XDG_RUNTIME_DIR=" + FRuntime.Path(),
         // Screenshots for our checks, scripts that may print.
         "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1", "QT_LOGGING_RULES=kwin_scripting=true"});
    const bool Up = WaitUntil(
        [&] {
            if (!FSession->Running())
                return true;
            if (FBus.empty()) {
                FBus = ReadFile(Address);
                if (!FBus.empty() && FBus.back() == '\n')
                    FBus.pop_back();
            }
            return !FBus.empty() && access((FRuntime.Path() + "/" + Socket).c_str(), F_OK) == 0 &&
                   Bus().isConnected() && Bus().interface()->isServiceRegistered(KWinService);
        },
        StartWithin);
    if (!Up || !FSession->Running()) {
        FError = "KWin did not start: " + FSession->Stderr();
        return;
    }
    const std::string KWinPid = ReadFile(Pid).substr(0, ReadFile(Pid).find('\n'));
    FPointer = std::make_unique<TPointerDevice>(
        FUser.Home(),
        [&](const std::vector<std::string>& Tool) {
            if (FUser.Uid() == geteuid())
                return Start(Tool);
            // In KWin's own mount namespace and root: KWin finds the grant by the program
            // a client runs, as its /proc/PID/exe reads there, and in a chroot (the Debian
            // 13 leg) another namespace's program reads as the host's path.
            std::vector<std::string> Argv{"/usr/bin/nsenter",
                                          "--target=" + KWinPid,
                                          "--mount",
                                          "--root",
                                          "--",
                                          "/usr/bin/setpriv",
                                          "--reuid=" + std::to_string(FUser.Uid()),
                                          "--regid=" + std::to_string(FUser.Uid()),
                                          "--clear-groups",
                                          "--",
                                          "/usr/bin/env",
                                          "-i",
                                          "HOME=" + FUser.Home()};
            const auto Env = Environment();
            Argv.insert(Argv.end(), Env.begin(), Env.end());
            Argv.insert(Argv.end(), Tool.begin(), Tool.end());
            return std::make_unique<TChild>(Argv, std::vector<std::string>{});
        },
        [this](const std::string& Path) {
            if (FUser.Uid() != geteuid() && chown(Path.c_str(), FUser.Uid(), FUser.Uid()) != 0)
                std::perror(Path.c_str());
        });
    // The seat has a pointer once KWin has handled a first move.
    if (!FPointer->Move(0, 0, OutputWidth * Outputs, OutputHeight))
        FError = "no fake pointer: " + FPointer->Tool().Stderr();
}

TKWin::~TKWin() {
    FPointer.reset();
    QDBusConnection::disconnectFromBus(QString::fromStdString(FConnection));
}

QDBusConnection TKWin::Bus() const {
    return QDBusConnection::connectToBus(QString::fromStdString(FBus),
                                         QString::fromStdString(FConnection));
}

std::vector<std::string> TKWin::Environment() const {
    std::vector<std::string> Result = SessionEnvironment(FRuntime.Path());
    Result.insert(Result.end(),
                  {std::string("WAYLAND_DISPLAY=") + Socket, "DBUS_SESSION_BUS_ADDRESS=" + FBus});
    return Result;
}

std::unique_ptr<TChild> TKWin::Start(const std::vector<std::string>& Program,
                                     const std::vector<std::string>& Set) const {
    std::vector<std::string> Env = Environment();
    Env.insert(Env.end(), Set.begin(), Set.end());
    return FUser.Run(Program, Env);
}

bool TKWin::MakePrimary(const std::string& Output) const {
    // kscreen-doctor is a Qt program of KDE's; on Debian 12 a Qt 5 one, which picks Wayland
    // only when told.
    const std::vector<std::string> Qt{"QT_QPA_PLATFORM=wayland"};
    if (!ExitedWith(Start({"/usr/bin/kscreen-doctor", "output." + Output + ".priority.1"}, Qt)
                        ->Wait(AnswerWithin),
                    0))
        return false;
    return WaitUntil(
        [&] {
            auto List = Start({"/usr/bin/kscreen-doctor", "--outputs"}, Qt);
            List->Wait(AnswerWithin);
            // "Output: 2 Virtual-1 enabled connected priority 1 ..." (5.27) or the same a
            // line each (6.3), in colour.
            const std::string Said =
                std::regex_replace(List->Stdout(), std::regex("\x1b\\[[0-9;]*m"), "");
            const auto At = Said.find(" " + Output);
            const auto Next = Said.find("Output:", At);
            return At != std::string::npos &&
                   std::regex_search(Said.substr(At, Next == std::string::npos ? Next : Next - At),
                                     std::regex("priority 1\\b"));
        },
        AnswerWithin);
}

std::vector<TKWinWindow> TKWin::Windows() const {
    const int Number = ++FScripts;
    const std::string Name = "ystrelo-windows-" + std::to_string(Number);
    const std::string Path = FUser.Home() + "/" + Name + ".js";
    std::ofstream(Path) << WindowScript(Number);
    chmod(Path.c_str(), 0644);
    QDBusConnection Session = Bus();
    const QDBusReply<int> Id =
        Session.call(QDBusMessage::createMethodCall(KWinService, "/Scripting",
                                                    "org.kde.kwin.Scripting", "loadScript")
                     << QString::fromStdString(Path) << QString::fromStdString(Name));
    if (!Id.isValid())
        return {};
    // Plasma 6 puts a script's object under /Scripting, 5.27 at the root.
    for (const std::string& Object :
         {"/Scripting/Script" + std::to_string(Id.value()), "/" + std::to_string(Id.value())})
        if (Session
                .call(QDBusMessage::createMethodCall(KWinService, QString::fromStdString(Object),
                                                     "org.kde.kwin.Script", "run"))
                .type() == QDBusMessage::ReplyMessage)
            break;
    const std::string End = ListEndMark + std::to_string(Number) + "\n";
    WaitUntil([&] { return FSession->Stderr().find(End) != std::string::npos; }, AnswerWithin);
    Session.call(QDBusMessage::createMethodCall(KWinService, "/Scripting", "org.kde.kwin.Scripting",
                                                "unloadScript")
                 << QString::fromStdString(Name));

    // This script's lines are those before its end mark and after the last one's.
    const std::string Said = FSession->Stderr();
    const std::size_t Until = Said.find(End);
    const std::size_t From =
        Number > 1 ? Said.find(ListEndMark + std::to_string(Number - 1) + "\n") : 0;
    std::vector<TKWinWindow> Result;
    std::istringstream Lines(Said.substr(From, Until == std::string::npos ? 0 : Until - From));
    for (std::string Line; std::getline(Lines, Line);) {
        const std::size_t At = Line.find(WindowMark);
        if (At == std::string::npos)
            continue;
        const auto F = Fields(Line.substr(At + std::string(WindowMark).size()));
        if (F.size() == 6)
            Result.push_back({F[0], std::atoi(F[1].c_str()), std::atoi(F[2].c_str()),
                              std::atoi(F[3].c_str()), std::atoi(F[4].c_str()), F[5] == "true"});
    }
    return Result;
}

std::optional<TShot> TKWin::Screenshot() const {
    QDBusConnection Session = Bus();
    if (!Session.interface()->isServiceRegistered(ScreenShotService))
        return std::nullopt;
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0)
        return std::nullopt;
    QDBusReply<QVariantMap> Reply;
    {
        // The message holds a copy of the write end; ours goes at once, so the pipe ends
        // when KWin closes its copy.
        const QDBusUnixFileDescriptor WriteEnd(Pipe[1]);
        close(Pipe[1]);
        Reply = Session.call(QDBusMessage::createMethodCall(ScreenShotService,
                                                            "/org/kde/KWin/ScreenShot2",
                                                            ScreenShotService, "CaptureWorkspace")
                             << QVariantMap() << QVariant::fromValue(WriteEnd));
    }
    const std::string Data = Reply.isValid() ? ReadAll(Pipe[0]) : std::string();
    close(Pipe[0]);
    if (!Reply.isValid())
        return std::nullopt;
    const QVariantMap& Result = Reply.value();
    const int Width = Result["width"].toInt(), Height = Result["height"].toInt();
    const std::size_t Stride = Result["stride"].toUInt();
    const unsigned Format = Result["format"].toUInt();
    if (Data.size() < Stride * static_cast<std::size_t>(Height) || Stride < 4u * Width ||
        Format < Rgb32 || Format > Argb32Premultiplied)
        return std::nullopt;
    TShot Shot{Width, Height, std::vector<std::uint32_t>(static_cast<std::size_t>(Width) * Height)};
    for (int Y = 0; Y < Height; ++Y)
        std::memcpy(&Shot.Pixels[static_cast<std::size_t>(Y) * Width], Data.data() + Y * Stride,
                    4u * Width);
    for (std::uint32_t& Pixel : Shot.Pixels)
        Pixel &= 0xFFFFFF;
    return Shot;
}

void TKWin::MovePointer(int X, int Y) {
    FPointer->Move(X, Y, OutputWidth * Outputs, OutputHeight);
}
