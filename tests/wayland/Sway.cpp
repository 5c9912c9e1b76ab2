#include "tests/wayland/Sway.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr auto StartWithin = 20s;
// Keeps the virtual keyboard on the seat for longer than any test suite runs.
constexpr const char* KeyboardLifetime = "3600000"; // ms

// Single quotes for sh.
std::string Quoted(const std::string& Text) {
    std::string Result = "'";
    for (char C : Text)
        Result += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Result + "'";
}

std::string FirstEntry(const std::string& Folder,
                       const std::function<bool(const std::string&)>& Match) {
    std::error_code Error;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder, Error)) {
        const std::string Name = Entry.path().filename().string();
        if (Match(Name))
            return Name;
    }
    return {};
}

void CollectWindows(const QJsonObject& Node, const std::string& Output,
                    std::vector<TSwayWindow>& Result) {
    const std::string Type = Node["type"].toString().toStdString();
    const std::string Here = Type == "output" ? Node["name"].toString().toStdString() : Output;
    if (Node.contains("pid") && (Type == "con" || Type == "floating_con")) {
        const QJsonObject Rect = Node["rect"].toObject();
        Result.push_back({Node["name"].toString().toStdString(), Here, Rect["x"].toInt(),
                          Rect["y"].toInt(), Rect["width"].toInt(), Rect["height"].toInt(),
                          Node["fullscreen_mode"].toInt() != 0, Node["focused"].toBool(),
                          Node["inhibit_idle"].toBool()});
    }
    for (const char* Children : {"nodes", "floating_nodes"})
        for (const auto& Child : Node[Children].toArray())
            CollectWindows(Child.toObject(), Here, Result);
}
} // namespace

std::string TSway::Unavailable() {
#ifdef __SANITIZE_THREAD__
    // Qt's Wayland platform runs threads of its own in libraries not built for
    // ThreadSanitizer; the saver's threading runs under it on the offscreen platform.
    return "the program on a compositor is not run under ThreadSanitizer";
#endif
    for (const char* Program :
         {"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/grim", "/usr/bin/wtype"})
        if (access(Program, X_OK) != 0)
            return std::string(Program) + " is not installed";
    if (TestUser() == 0)
        return "sway refuses root, and other users cannot run the build";
    return {};
}

TSway::TSway(const TSway* Host) : FUser(TestUser()), FNested(Host != nullptr) {
    Own(FHome.Path());
    Own(FRuntime.Path());
    chmod(FRuntime.Path().c_str(), 0700);
    std::filesystem::create_directories(FHome.Path() + "/.config");
    Own(FHome.Path() + "/.config");
    // No bar, no borders, no XWayland: nothing on screen but our windows and the
    // compositor's background. The pointer moves only when a test moves it: sway 1.10 warps
    // it to the middle of an output that a command focuses, which the saver takes for a
    // move of the user's.
    const std::string Config = FHome.Path() + "/sway.config";
    std::ofstream(Config) << "xwayland disable\n"
                             "default_border none\n"
                             "default_floating_border none\n"
                             "focus_follows_mouse no\n"
                             "mouse_warping none\n";
    Own(Config);
    std::vector<std::string> Env{"XDG_RUNTIME_DIR=" + FRuntime.Path(), "HOME=" + FHome.Path(),
                                 "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"};
    if (Host)
        Env.insert(Env.end(), {"WLR_BACKENDS=wayland", "WLR_WL_OUTPUTS=" + std::to_string(Outputs),
                               "WAYLAND_DISPLAY=" + Host->Socket()});
    else
        Env.insert(Env.end(),
                   {"WLR_BACKENDS=headless", "WLR_HEADLESS_OUTPUTS=" + std::to_string(Outputs)});
    FSway = std::make_unique<TChild>(
        AsUser({"/usr/bin/sway", "-c", Config, "-D", "damage=rerender"}), Env,
        std::vector<std::string>{"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XDG_CONFIG_HOME",
                                 "QT_QPA_PLATFORM"});
    const bool Up = WaitUntil(
        [&] {
            if (!FSway->Running())
                return true;
            FSocket = FirstEntry(FRuntime.Path(), [](const std::string& Name) {
                return Name.rfind("wayland-", 0) == 0 && Name.find(".lock") == std::string::npos;
            });
            return !FSocket.empty() &&
                   !FirstEntry(
                        FRuntime.Path(),
                        [](const std::string& Name) { return Name.rfind("sway-ipc.", 0) == 0; })
                        .empty() &&
                   Message("-t get_version").find("\"major\"") != std::string::npos;
        },
        StartWithin);
    if (!Up || !FSway->Running()) {
        FError = "sway did not start: " + FSway->Stderr();
        return;
    }
    // A nested compositor's outputs take the size its host gives their windows.
    for (int Number = 1; Number <= Outputs && !Host; ++Number)
        Message("output " + Output(Number) + " mode " + std::to_string(OutputWidth) + "x" +
                std::to_string(OutputHeight) + " pos " +
                std::to_string((Number - 1) * OutputWidth) + " 0");
    // The first output has the focus, whichever output this sway made first (1.7 the first,
    // 1.10 the second): a window mapped there gets the keyboard.
    if (!Host)
        Message("focus output " + Output(1));
    // A nested compositor gets its input from its host.
    if (Host)
        return;
    FKeyboard = Start({"/usr/bin/wtype", "-s", KeyboardLifetime});
    FPointer = std::make_unique<TPointerDevice>(
        FHome.Path(), [this](const std::vector<std::string>& Program) { return Start(Program); },
        [this](const std::string& Path) { Own(Path); });
    const bool Seat = WaitUntil(
        [&] {
            const std::string Seats = Message("-t get_seats");
            return Seats.find("\"keyboard\"") != std::string::npos &&
                   Seats.find("\"pointer\"") != std::string::npos;
        },
        StartWithin);
    if (!Seat)
        FError =
            "no virtual keyboard and pointer: " + FKeyboard->Stderr() + FPointer->Tool().Stderr();
}

TSway::~TSway() {
    FPointer.reset();
    FKeyboard.reset();
    if (FSway)
        FSway->Signal(SIGTERM);
    FSway.reset();
    // Whatever else runs as the test's user (a saver that outlived its test, an idle
    // daemon's children) goes too; a nested compositor leaves that to its host, which
    // runs as the same user and is still to be stopped (and reaped) by its own object.
    if (FUser != geteuid() && !FNested)
        KillProcessesOf(FUser);
    if (!FNested)
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
}

void TSway::Own(const std::string& Path) const {
    if (FUser != geteuid() && chown(Path.c_str(), FUser, FUser) != 0)
        std::perror(Path.c_str());
}

std::string TSway::Output(int Number) const {
    return (FNested ? "WL-" : "HEADLESS-") + std::to_string(Number);
}

std::vector<std::string> TSway::AsUser(const std::vector<std::string>& Program) const {
    std::vector<std::string> Argv;
    if (FUser != geteuid())
        Argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(FUser),
                "--regid=" + std::to_string(FUser), "--clear-groups", "--"};
    Argv.insert(Argv.end(), Program.begin(), Program.end());
    return Argv;
}

std::vector<std::string> TSway::Environment() const {
    const std::string Build = std::filesystem::path(YstreloBinary()).parent_path().string();
    const std::string Ipc = FirstEntry(
        FRuntime.Path(), [](const std::string& Name) { return Name.rfind("sway-ipc.", 0) == 0; });
    return {"XDG_RUNTIME_DIR=" + FRuntime.Path(),           "WAYLAND_DISPLAY=" + FSocket,
            "SWAYSOCK=" + FRuntime.Path() + "/" + Ipc,      "HOME=" + FHome.Path(),
            "XDG_CONFIG_HOME=" + FHome.Path() + "/.config", "PATH=" + Build + ":/usr/bin:/bin"};
}

std::unique_ptr<TChild> TSway::Start(const std::vector<std::string>& Program,
                                     const std::vector<std::string>& Set) const {
    std::vector<std::string> Env = Environment();
#ifdef __SANITIZE_ADDRESS__
    // libwayland-client has no frame pointers: the quick unwinder stops in it, short of the
    // library a leak of Qt's Wayland platform is suppressed by (tests/lsan.supp).
    Env.push_back("ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0");
#endif
    Env.insert(Env.end(), Set.begin(), Set.end());
    return std::make_unique<TChild>(
        AsUser(Program), Env,
        std::vector<std::string>{"DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE",
                                 "XSCREENSAVER_WINDOW", "DBUS_SESSION_BUS_ADDRESS"});
}

std::string TSway::Run(const std::vector<std::string>& Program) const {
    std::string Command = "env -i";
    for (const std::string& Variable : Environment())
        Command += " " + Quoted(Variable);
    for (const std::string& Argument : AsUser(Program))
        Command += " " + Quoted(Argument);
    Command += " 2>/dev/null";
    std::string Output;
    if (FILE* Pipe = popen(Command.c_str(), "r")) {
        char Buffer[65536];
        std::size_t Read;
        while ((Read = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0)
            Output.append(Buffer, Read);
        pclose(Pipe);
    }
    return Output;
}

std::string TSway::Message(const std::string& Arguments) const {
    if (FSocket.empty())
        return {};
    std::vector<std::string> Argv{"/usr/bin/swaymsg"};
    std::string Word;
    std::istringstream Words(Arguments);
    while (Words >> Word)
        Argv.push_back(Word);
    return Run(Argv);
}

std::vector<TSwayWindow> TSway::Windows() const {
    std::vector<TSwayWindow> Result;
    const QJsonDocument Tree =
        QJsonDocument::fromJson(QByteArray::fromStdString(Message("-t get_tree")));
    if (Tree.isObject())
        CollectWindows(Tree.object(), "", Result);
    return Result;
}

TShot TSway::Screenshot(const std::string& Output) const {
    TShot Result;
    const std::string Ppm = Run({"/usr/bin/grim", "-t", "ppm", "-o", Output, "-"});
    // "P6\n<width> <height>\n255\n" and then the pixels, three bytes each.
    std::istringstream Header(Ppm);
    std::string Magic;
    int Max = 0;
    Header >> Magic >> Result.Width >> Result.Height >> Max;
    if (Magic != "P6" || Max != 255 || !Header)
        return {};
    const std::size_t Start = static_cast<std::size_t>(Header.tellg()) + 1;
    const std::size_t Count = static_cast<std::size_t>(Result.Width) * Result.Height;
    if (Ppm.size() < Start + Count * 3)
        return {};
    Result.Pixels.resize(Count);
    for (std::size_t I = 0; I < Count; ++I) {
        const auto* P = reinterpret_cast<const unsigned char*>(Ppm.data() + Start + I * 3);
        Result.Pixels[I] = std::uint32_t{P[0]} << 16 | std::uint32_t{P[1]} << 8 | P[2];
    }
    return Result;
}

void TSway::MovePointer(int X, int Y) {
    FPointer->Move(X, Y, OutputWidth * Outputs, OutputHeight);
}

void TSway::Type(const std::string& Keys) const {
    Run({"/usr/bin/wtype", Keys});
}

void TSway::Kill() {
    if (FSway)
        FSway->Signal(SIGKILL);
}
