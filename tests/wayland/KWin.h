#pragma once

// A headless KWin of the test's own, as KDE Plasma runs it on Wayland: kwin_wayland with
// its virtual backend, two outputs side by side, no lock screen and no XWayland, on a
// session bus of its own (dbus-run-session), run as a user of the test's own with a home
// and runtime folder of its own. The program is a copy without its file capability
// (cap_sys_resource on 5.27, cap_sys_nice on 6.3), which an unprivileged exec refuses in
// a container. The seat has a pointer only because we add one (KWin's fake input,
// tests/wayland/pointer).
//
// The test itself talks to the session's bus (its policy lets root in): KWin's scripting
// reports the windows, and org.kde.KWin.ScreenShot2 the pixels where KWin composites
// with OpenGL (5.27 does on llvmpipe; 6.3's virtual backend finds no render node here and
// paints with QPainter, which has no screenshots).

#include "tests/host/HostTestSupport.h"
#include "tests/package/HostUser.h"
#include "tests/wayland/PointerDevice.h"
#include "tests/wayland/Shot.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDBusConnection;

// A window as KWin's scripting reports it.
struct TKWinWindow {
    std::string Caption;
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool FullScreen = false;
};

class TKWin {
public:
    static constexpr int OutputWidth = 640;
    static constexpr int OutputHeight = 480;
    static constexpr int Outputs = 2;

    TKWin();
    ~TKWin();
    TKWin(const TKWin&) = delete;
    TKWin& operator=(const TKWin&) = delete;

    // Whether KWin, its bus and the pointer run; the reason otherwise.
    bool Started() const { return FError.empty(); }
    const std::string& Error() const { return FError; }
    // Why no KWin can run here, or nothing when one can: kwin_wayland or dbus-run-session
    // missing, only root to run it as (a build folder other users cannot reach), or a
    // ThreadSanitizer build.
    static std::string Unavailable();
    // As kwin_wayland --version says it: "5.27.5".
    const std::string& Version() const { return FVersion; }

    // Output Number, 0 at the layout's origin and 1 right of it, as KWin names it.
    static std::string Output(int Number) { return "Virtual-" + std::to_string(Number); }
    const THostUser& User() const { return FUser; }
    // Starts Program as the test's user, a client of this compositor and its bus.
    std::unique_ptr<TChild> Start(const std::vector<std::string>& Program,
                                  const std::vector<std::string>& Set = {}) const;

    // Makes Output the primary one, as the display settings do (kscreen-doctor), and waits
    // until the display settings list it so.
    bool MakePrimary(const std::string& Output) const;
    // The windows KWin manages, through a script of its scripting.
    std::vector<TKWinWindow> Windows() const;
    // The whole desktop as KWin composes it; nothing where KWin offers no screenshots.
    std::optional<TShot> Screenshot() const;
    // Puts the pointer at (X, Y) of the layout and waits until KWin has handled it.
    void MovePointer(int X, int Y);

private:
    QDBusConnection Bus() const;
    std::vector<std::string> Environment() const;

    TTempDir FRuntime;
    TTempDir FProgram;
    // Ends every process of the user, KWin and its bus among them.
    THostUser FUser;
    std::string FError;
    std::string FBus;
    std::string FVersion;
    std::string FConnection;
    std::unique_ptr<TChild> FSession;
    std::unique_ptr<TPointerDevice> FPointer;
    mutable int FScripts = 0;
};
