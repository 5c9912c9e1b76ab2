#include "host/FR_Main_Unit.h"

#include "config/frConfigure.h"
#include "engine/Random.h"
#include "host/StartupState.h"
#include "panel/FractalPanel.h"
#include "platform/qt/ApplicationEvents.h"
#include "platform/wayland/BlankCursor.h"
#include "platform/wayland/WaylandPlatform.h"
#include "platform/x11/ForeignWindow.h"

#include <QGuiApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

#include <cstdlib>
#include <vector>

namespace {
// Handed to the dialog when no monitor was set: it names no Frames page, so only the
// shared settings are applied.
TMonitor NoMonitor() {
    TMonitor Result;
    Result.MonitorNum = -1;
    return Result;
}

bool SameMonitor(const TMonitor& A, const TMonitor& B) {
    return A.MonitorNum == B.MonitorNum && A.BoundsRect == B.BoundsRect && A.Width == B.Width &&
           A.Height == B.Height && A.Primary == B.Primary && A.Screen == B.Screen;
}
} // namespace

TFR_Saver::TFR_Saver(QWidget* Owner) : TForm(Owner) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setGeometry(DesignBounds);
    ApplicationEvents1 = new TApplicationEvents(this);
    ApplicationEvents1->OnIdle = [this](QObject* Sender, bool& Done) {
        IA_StartupIdle(Sender, Done);
    };
    OnCreate = [this](QObject* Sender) { FormCreate(Sender); };
    // A monitor unplugged while the saver runs (a Wayland output going away, a RandR
    // monitor removed) takes its window with it, as closing a secondary would.
    if (qGuiApp)
        connect(qGuiApp, &QGuiApplication::screenRemoved, this,
                [this](QScreen* Screen) { ScreenRemoved(Screen); });
    WindowMouse = new TMouseMoveHook(this);
    WindowMouse->OnMouseMove = [this](QObject* Sender, Qt::KeyboardModifiers Shift, std::int32_t X,
                                      std::int32_t Y) { FormMouseMove(Sender, Shift, X, Y); };
}

TFR_Saver::~TFR_Saver() {
    // The panel's painter must be gone before the panel: a window freed without being
    // hidden first still stops it here.
    if (Panel)
        Panel->SetActive(false);
}

void TFR_Saver::FormCreate(QObject*) {
    TRandom::Instance().Randomize();
    Panel = new TFractalPanel(this);
    Panel->setGeometry(rect());
    Panel->SetBackground(clBlack);
    Panel->setVisible(true);
    Panel->SetColours(std::vector<TColour>(StartColours.begin(), StartColours.end()),
                      StartFadeFromBlack, StartBands);
    TBlankCursor::Apply(Panel);
    TBlankCursor::Apply(this);
    // A monitor whose mode or scale changes while the saver runs: the frames follow the
    // panel's new size in device pixels, as the stored layout lays them out.
    connect(Panel, &TFractalPanel::DeviceSizeChanged, this, [this] {
        if (ConfigureFrame && !StartupPending)
            ConfigureFrame->ApplyToPanel(*Panel, FMonitor ? *FMonitor : NoMonitor());
    });
    PanelMouse = new TMouseMoveHook(Panel);
    PanelMouse->OnMouseMove = [this](QObject* Sender, Qt::KeyboardModifiers Shift, std::int32_t X,
                                     std::int32_t Y) { FormMouseMove(Sender, Shift, X, Y); };
    StartupPending = true;
}

void TFR_Saver::SetMonitor(const TMonitor& AMonitor) {
    if (FMonitor && SameMonitor(*FMonitor, AMonitor))
        return;
    FMonitor = AMonitor;
    // The window must know its screen before it is sized, so that its device size (and
    // with it the panel's frames) follows that monitor's scale from the start.
    if (AMonitor.Screen)
        setScreen(AMonitor.Screen);
    setGeometry(AMonitor.BoundsRect);
    if (Panel)
        Panel->setGeometry(rect());
}

void TFR_Saver::ShowOnMonitor() {
    // Full screen is what makes a window manager put us above its panels and docks and
    // keep us at the monitor's bounds; without a window manager the bounds set by
    // SetMonitor already cover the monitor.
    showFullScreen();
}

void TFR_Saver::ScreenRemoved(QScreen* Screen) {
    if (!FMonitor || FMonitor->Screen != Screen)
        return;
    // Qt frees the screen after this signal.
    FMonitor->Screen = nullptr;
    // A secondary window drops out and its panel stays in the rotation, drawn into a
    // hidden window. The primary one stays: closing it would end the saver on the other
    // monitors too; Qt moves it to a screen that remains.
    if (!Primary && !FHosted)
        close();
}

void TFR_Saver::HostIn(std::uint32_t Parent, QSize DeviceSize, const TMonitor& AMonitor) {
    FHosted = true;
    FMonitor = AMonitor;
    if (AMonitor.Screen)
        setScreen(AMonitor.Screen);
    FForeign = std::make_unique<TForeignWindow>(*this, Parent, DeviceSize);
    if (Panel)
        Panel->setGeometry(rect());
}

bool TFR_Saver::Embedded() const {
    return !FForeign || FForeign->Embedded();
}

void TFR_Saver::IA_StartupIdle(QObject*, bool&) {
    if (!StartupPending)
        return;
    StartupPending = false;
    if (ConfigureFrame)
        ConfigureFrame->ApplyToPanel(*Panel, FMonitor ? *FMonitor : NoMonitor());
    if (Primary)
        Panel->SetActive(true);
}

void TFR_Saver::FormHide(QObject*) {
    if (Panel)
        Panel->SetActive(false);
}

void TFR_Saver::FormKeyPress(QObject*, QChar&) {
    if (FHosted)
        return;
    // On Wayland a key ends the whole saver from any window. Closing just the focused
    // secondary would leave the keyboard with no window of ours (a client cannot take the
    // focus), and the pointer unseen over that output's bare desktop: the user would
    // have no way out from where they are looking.
    if (!Primary && PrimaryWindow && TWaylandPlatform::Active())
        PrimaryWindow->close();
    else
        close();
}

void TFR_Saver::FormMouseMove(QObject*, Qt::KeyboardModifiers, std::int32_t X, std::int32_t Y) {
    if (FHosted)
        return;
    if (!MouseSeen) {
        MouseX = X;
        MouseY = Y;
        MouseSeen = true;
        return;
    }
    if (std::abs(MouseX - X) > MouseTolerance || std::abs(MouseY - Y) > MouseTolerance)
        close();
}

bool TFR_Saver::event(QEvent* Event) {
    // Every key that produces a character, Tab included, which the base class would
    // otherwise spend on moving the focus. Keys without text (Shift, Ctrl, arrows,
    // function keys) fall through and change nothing.
    if (Event->type() == QEvent::KeyPress) {
        const QString Text = static_cast<QKeyEvent*>(Event)->text();
        if (!Text.isEmpty()) {
            QChar Key = Text.front();
            FormKeyPress(this, Key);
            return true;
        }
    }
    return TForm::event(Event);
}

void TFR_Saver::hideEvent(QHideEvent* Event) {
    TForm::hideEvent(Event);
    // Only our own hiding (closing, teardown) stops the painter; a window manager that
    // hides the window on its own (another virtual desktop, minimising) hands it back
    // later, and the saver must still be painting then.
    if (!Event->spontaneous())
        FormHide(this);
}

void TFR_Saver::resizeEvent(QResizeEvent* Event) {
    TForm::resizeEvent(Event);
    if (Panel)
        Panel->setGeometry(rect());
}
