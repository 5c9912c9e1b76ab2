#include "tests/wayland/PointerDevice.h"

#include <algorithm>
#include <fstream>
#include <sys/stat.h>

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
    {
        std::ofstream Fifo(FFifo);
        Fifo << "abs " << X << " " << Y << " " << Width << " " << Height << "\n";
    }
    ++FCommands;
    return WaitUntil([&] { return Lines(FFifo + ".done") >= static_cast<std::size_t>(FCommands); },
                     PointerWithin);
}
