#pragma once

#include "platform/VisibilitySource.h"
#include "platform/x11/X11Display.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// The X server's signs that nobody sees our windows, on a connection of its own:
// - DPMS has put the monitors into standby, suspend or off. The extension tells no
//   change, so its state is asked for once every DpmsCheck, where the server has it;
// - the server's own screen saver has blanked the screen (MIT-SCREEN-SAVER, active and
//   "blanked", which Xorg's video drivers do by DPMS). One that draws its window over
//   the screen instead is a window like any other, and the rule below sees it;
// - every one of our windows is fully obscured (VisibilityNotify) or unmapped: another
//   program's full-screen window, or a locker, lies over the saver. With a compositing
//   manager the server counts no window as obscured.
class TX11VisibilitySource : public QObject, public TVisibilitySource {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DpmsCheck{1000};

    // Who waits for the connection's events: Qt's event loop, or a loop of the caller's
    // own that waits for Fd and calls Pump (the preview has no Qt).
    enum class TLoop { Qt, Caller };

    // Watches Windows, of the server $DISPLAY names. Raises EYstreloError when it does not
    // answer.
    TX11VisibilitySource(const std::vector<TX11Window>& Windows, TLoop Loop);
    ~TX11VisibilitySource() override;

    bool Seen() const override;
    void Watch(std::function<void()> Changed) override;

    // Readable when the server sent something.
    int Fd() const { return FDisplay.Fd(); }
    // Takes what the server sent and asks for the DPMS state when that is due; calls
    // Changed when Seen changed. Returns the milliseconds until the next call is due
    // without an event, or -1 when none is (a server without DPMS). Never blocks but for
    // that one round trip.
    int Pump();

private:
    struct TWindow {
        bool Mapped = false;
        bool Obscured = false;
    };
    void ReadEvents();
    void AskDpms();

    TX11Display FDisplay;
    std::map<TX11Window, TWindow> FWindows;
    std::uint8_t FSaverEvent = 0; // MIT-SCREEN-SAVER's first event; 0 without it
    bool FHasDpms = false;
    bool FDpmsOff = false;
    bool FBlanked = false;
    std::chrono::steady_clock::time_point FNextDpms;
    std::function<void()> FChanged;
    TLoop FLoop;
    std::unique_ptr<QSocketNotifier> FNotifier;
    QTimer FTimer;
};
