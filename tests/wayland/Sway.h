#pragma once

// A headless sway of the test's own, as Debian 12 ships it (1.7): two outputs side by
// side, no bar, run as the test's user (sway refuses root) with a runtime folder of its
// own. The seat has input devices only because we add them: a virtual keyboard (a
// long-lived wtype) and a virtual pointer (tests/wayland/pointer).

#include "tests/host/HostTestSupport.h"
#include "tests/wayland/PointerDevice.h"
#include "tests/wayland/Shot.h"

#include <QJsonObject>

#include <memory>
#include <string>
#include <vector>

// A window of the tree as sway reports it.
struct TSwayWindow {
    std::string Title;
    std::string Output;
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool FullScreen = false;
    bool Focused = false;
    // An idle inhibitor of the window holds the desktop awake.
    bool InhibitsIdle = false;
};

class TSway {
public:
    static constexpr int OutputWidth = 640;
    static constexpr int OutputHeight = 480;
    static constexpr int Outputs = 2;

    // Headless, or, given a Host, with outputs that are windows of that compositor
    // (wlroots' Wayland backend): closing such a window unplugs the output, which a
    // headless output cannot do.
    explicit TSway(const TSway* Host = nullptr);
    ~TSway();
    TSway(const TSway&) = delete;
    TSway& operator=(const TSway&) = delete;

    // Whether sway and its helpers run; the reason otherwise.
    bool Started() const { return FError.empty(); }
    const std::string& Error() const { return FError; }
    // Why no sway can run here, or nothing when one can: sway, grim or wtype missing, only
    // root to run it as (a build folder other users cannot reach), or a ThreadSanitizer
    // build.
    static std::string Unavailable();

    uid_t User() const { return FUser; }
    // A folder of the test's user, for settings.
    const std::string& Home() const { return FHome.Path(); }
    // The environment of a client of this compositor.
    std::vector<std::string> Environment() const;
    // Starts Program as the test's user, a client of this compositor, with Set added.
    std::unique_ptr<TChild> Start(const std::vector<std::string>& Program,
                                  const std::vector<std::string>& Set = {}) const;
    // Runs Program as the test's user to its end; its standard output.
    std::string Run(const std::vector<std::string>& Program) const;

    // The name of output Number (1, 2).
    std::string Output(int Number) const;
    // The socket clients connect to, as an absolute path.
    std::string Socket() const { return FRuntime.Path() + "/" + FSocket; }

    std::string Message(const std::string& Arguments) const; // swaymsg
    std::vector<TSwayWindow> Windows() const;
    TShot Screenshot(const std::string& Output) const; // grim -o

    // Puts the pointer at (X, Y) of the whole layout and waits until sway has handled it.
    void MovePointer(int X, int Y);
    // Types Keys with wtype into whichever window has the keyboard focus.
    void Type(const std::string& Keys) const;

    // Ends the compositor at once, as a crash would; its clients lose their connections.
    void Kill();
    // Changes ownership of Path to the test's user.
    void Own(const std::string& Path) const;

private:
    std::vector<std::string> AsUser(const std::vector<std::string>& Program) const;

    TTempDir FHome;
    TTempDir FRuntime;
    uid_t FUser = 0;
    std::string FError;
    bool FNested = false;
    std::string FSocket;
    std::unique_ptr<TChild> FSway;
    std::unique_ptr<TChild> FKeyboard;
    std::unique_ptr<TPointerDevice> FPointer;
};
