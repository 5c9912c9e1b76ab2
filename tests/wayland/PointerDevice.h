#pragma once

#include "tests/host/HostTestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The pointer of a compositor's seat that has no input devices: wayland-pointer
// (tests/wayland/pointer), a client of the compositor's user that takes moves from a FIFO
// and acknowledges each once the compositor has handled it.
class TPointerDevice {
public:
    using TStart = std::function<std::unique_ptr<TChild>(const std::vector<std::string>&)>;
    using TOwn = std::function<void(const std::string&)>;

    // Start runs a program as a client of the compositor; Own hands a path in Folder to
    // the compositor's user.
    TPointerDevice(const std::string& Folder, const TStart& Start, const TOwn& Own);

    // Puts the pointer at (X, Y) of a layout Width x Height large, and waits until the
    // compositor has handled it; false when it did not say so in time.
    bool Move(int X, int Y, int Width, int Height);
    TChild& Tool() { return *FTool; }

private:
    std::string FFifo;
    std::unique_ptr<TChild> FTool;
    int FCommands = 0;
};
