#include "tests/package/DummyXorg.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

TDummyXorg::TDummyXorg(int Width, int Height, int Outputs) {
    const std::string Mode = std::to_string(Width) + "x" + std::to_string(Height);
    // The dummy driver offers every output the modes of the screen section; its pixels
    // live in VideoRam, which must hold the whole virtual screen. Any timing will do for a
    // mode: nothing scans it out.
    const int VideoRamKb = Width * Outputs * Height * 4 / 1024 + 4096;
    std::ofstream(FDir.Path() + "/xorg.conf")
        << "Section \"ServerFlags\"\n"
           "    Option \"AutoAddDevices\" \"false\"\n"
           "    Option \"AutoEnableDevices\" \"false\"\n"
           "    Option \"DontVTSwitch\" \"true\"\n"
           "EndSection\n"
           "Section \"Device\"\n"
           "    Identifier \"dummy\"\n"
           "    Driver \"dummy\"\n"
           "    VideoRam "
        << VideoRamKb
        << "\n"
           "EndSection\n"
           "Section \"Monitor\"\n"
           "    Identifier \"monitor\"\n"
           "    HorizSync 5.0 - 1000.0\n"
           "    VertRefresh 5.0 - 200.0\n"
           "    Modeline \""
        << Mode << "\" 83.50 " << Width << " " << Width + 72 << " " << Width + 200 << " "
        << Width + 400 << " " << Height << " " << Height + 3 << " " << Height + 9 << " "
        << Height + 31
        << "\n"
           "EndSection\n"
           "Section \"Screen\"\n"
           "    Identifier \"screen\"\n"
           "    Device \"dummy\"\n"
           "    Monitor \"monitor\"\n"
           "    DefaultDepth 24\n"
           "    SubSection \"Display\"\n"
           "        Depth 24\n"
           "        Modes \""
        << Mode << "\"\n        Virtual " << Width * Outputs << " " << Height
        << "\n"
           "    EndSubSection\n"
           "EndSection\n";
    std::filesystem::create_directory(FDir.Path() + "/xorg.conf.d");

    // -configdir of our own keeps the machine's snippets out; -sharevts and -novtswitch
    // leave the console's VT alone.
    FDisplay = StartXServer({"/usr/bin/Xorg", "-config", FDir.Path() + "/xorg.conf", "-configdir",
                             FDir.Path() + "/xorg.conf.d", "-logfile", FDir.Path() + "/Xorg.log",
                             "-nolisten", "tcp", "-noreset", "-sharevts", "-novtswitch"},
                            FPid);
    if (FDisplay.empty())
        return;

    // Only the first output is connected at first; an output of the dummy driver counts as
    // connected once it has a mode.
    for (int Output = 1; Output < Outputs; ++Output) {
        const std::string Name = "DUMMY" + std::to_string(Output);
        FRandr += RunCommand(FDisplay, "xrandr --addmode " + Name + " " + Mode + " 2>&1");
        FRandr +=
            RunCommand(FDisplay, "xrandr --output " + Name + " --mode " + Mode +
                                     " --right-of DUMMY" + std::to_string(Output - 1) + " 2>&1");
    }
    FRandr += RunCommand(FDisplay, "xrandr --listmonitors");
    FStarted = FRandr.find("Monitors: " + std::to_string(Outputs)) != std::string::npos;
}

TDummyXorg::~TDummyXorg() {
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
    }
}

std::string TDummyXorg::Log() const {
    return ReadFile(FDir.Path() + "/Xorg.log") + FRandr;
}
