#include "tests/wayland/PointerDevice.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr auto PointerWithin = 10s;

std::size_t Lines(const std::string& Path) {
    const std::string Text = ReadFile(Path);
    return static_cast<std::size_t>(std::count(Text.begin(), Text.end(), '\n'));
}
} // namespace

TPointerDevice::TPointerDevice(const std::string& Folder, const TStart& Start, const TOwn& Own)
    : FFifo(Folder + "/pointer") {
    mkfifo(FFifo.c_str(), 0600);
    Own(FFifo);
    FTool = Start({YSTRELO_WAYLAND_POINTER, FFifo});
}

bool TPointerDevice::Move(int X, int Y, int Width, int Height) {
    // Once the tool reads: one that is still starting will, one that has ended never does.
    int Fifo = -1;
    WaitUntil(
        [&] {
            Fifo = open(FFifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            return Fifo >= 0 || !FTool->Running();
        },
        PointerWithin);
    if (Fifo < 0)
        return false;
    const std::string Command = "abs " + std::to_string(X) + " " + std::to_string(Y) + " " +
                                std::to_string(Width) + " " + std::to_string(Height) + "\n";
    const bool Written =
        write(Fifo, Command.data(), Command.size()) == static_cast<ssize_t>(Command.size());
    close(Fifo);
    if (!Written)
        return false;
    ++FCommands;
    return WaitUntil([&] { return Lines(FFifo + ".done") >= static_cast<std::size_t>(FCommands); },
                     PointerWithin);
}
