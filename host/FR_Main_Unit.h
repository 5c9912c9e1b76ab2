#pragma once

#include "config/Form.h"
#include "host/MouseMoveHook.h"
#include "platform/Colour.h"
#include "platform/qt/Monitors.h"

#include <QPointer>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class TApplicationEvents;
class TForeignWindow;
class TFractalPanel;
class QScreen;

// The window that covers one monitor in saver mode. It owns a fractal panel that fills
// it, ends the saver (or its own part of it) on a character key or a mouse movement, and
// at the application's first idle moment applies the stored settings to its panel and,
// if it is the primary monitor's window, starts painting. Hiding it stops the painter.
// Start-up (host/SaverStartup.cpp) creates one per monitor with TForm::Create.
class TFR_Saver : public TForm {
    Q_OBJECT
public:
    // A movement of more than this many device pixels on either axis, away from the first
    // position seen, ends the saver.
    static constexpr std::int32_t MouseTolerance = 5;
    // The panel's first palette, replaced by the stored settings before it paints.
    static constexpr std::array<TColour, 7> StartColours{
        0xFF0000, // blue
        0x008000, // green
        0x0000FF, // red
        0x00FFFF, // yellow
        0x000080, // maroon
        0xFFFF00, // aqua
        0xFFFFFF, // white
    };
    static constexpr bool StartFadeFromBlack = true;
    static constexpr std::int32_t StartBands = 16;
    // Where the window sits until SetMonitor places it.
    static constexpr QRect DesignBounds{632, 167, 433, 418};

    explicit TFR_Saver(QWidget* Owner = nullptr);
    ~TFR_Saver() override;

    // Places the window over Monitor; the same monitor again changes nothing.
    void SetMonitor(const TMonitor& AMonitor);
    // The monitor this window covers; none until SetMonitor.
    const TMonitor* Monitor() const { return FMonitor ? &*FMonitor : nullptr; }
    // Shows the window over its whole monitor, above panels and docks. Start-up calls it
    // after SetMonitor.
    void ShowOnMonitor();
    // Instead of SetMonitor and ShowOnMonitor: makes the window a child of a screen-saver
    // host's window Parent, DeviceSize large, showing the layout of AMonitor, the monitor
    // that window lies on. Mouse and keys are then the host's: the window reacts to
    // neither.
    void HostIn(std::uint32_t Parent, QSize DeviceSize, const TMonitor& AMonitor);
    bool Hosted() const { return FHosted; }
    // Whether a hosted window really is inside the host's window; true when not hosted.
    bool Embedded() const;

    void FormCreate(QObject* Sender);
    void IA_StartupIdle(QObject* Sender, bool& Done);
    void FormHide(QObject* Sender);
    void FormKeyPress(QObject* Sender, QChar& Key);
    void FormMouseMove(QObject* Sender, Qt::KeyboardModifiers Shift, std::int32_t X,
                       std::int32_t Y);

    TApplicationEvents* ApplicationEvents1 = nullptr;
    bool StartupPending = false;
    // Only the primary monitor's window starts its panel.
    bool Primary = false;
    TFractalPanel* Panel = nullptr;
    bool MouseSeen = false;
    std::int32_t MouseX = 0;
    std::int32_t MouseY = 0;
    // The mouse-move events of the window and of its panel; start-up points a secondary
    // window's at the primary window's FormMouseMove.
    TMouseMoveHook* WindowMouse = nullptr;
    TMouseMoveHook* PanelMouse = nullptr;

protected:
    bool event(QEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    // Qt is about to drop Screen: the window of a monitor unplugged drops out.
    void ScreenRemoved(QScreen* Screen);

    std::optional<TMonitor> FMonitor;
    bool FHosted = false;
    // Declared last, so destroyed first: it gives the window back before anything else.
    std::unique_ptr<TForeignWindow> FForeign;
};
