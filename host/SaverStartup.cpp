#include "host/SaverStartup.h"

#include "config/IniFileStore.h"
#include "config/frConfigure.h"
#include "host/Application.h"
#include "host/FR_Main_Unit.h"
#include "host/HostWindow.h"
#include "host/StartupState.h"
#include "panel/FractalPanel.h"
#include "platform/Errors.h"
#include "platform/qt/Monitors.h"

#include <QPointer>

#include <cstddef>
#include <string>

namespace {
constexpr const char* PrimaryCaption = "Primary";
constexpr const char* SecondaryCaption = "Secondary ";
// Where a desktop without a primary monitor is reported: the program's own source name
// and the line its users know the report by.
constexpr const char* AssertMessage = "Assertion failure";
constexpr const char* AssertSource = "Ystrelo";
constexpr int NoPrimaryLine = 151;

TApplication& Application() {
    TApplication* Result = TApplication::Instance();
    if (!Result)
        throw EYstreloError("TApplication: no application object");
    return *Result;
}
} // namespace

QWidget* StartConfigureMode() {
    ConfigureFrame = Application().CreateForm<TConfigureFrame>();
    return ConfigureFrame;
}

QWidget* StartSaverMode() {
    TApplication& App = Application();
    const std::vector<TMonitor> Monitors = TMonitors::List();
    PrimaryWindow = nullptr;
    for (const TMonitor& Monitor : Monitors) {
        if (!Monitor.Primary)
            continue;
        TFR_Saver* Window = App.CreateForm<TFR_Saver>();
        Window->setWindowTitle(PrimaryCaption);
        Window->SetMonitor(Monitor);
        Window->ShowOnMonitor();
        Window->Primary = true;
        PrimaryWindow = Window;
        break;
    }
    if (!PrimaryWindow)
        throw EAssertionFailed(std::string(AssertMessage) + " (" + AssertSource + ", line " +
                               std::to_string(NoPrimaryLine) + ")");

    ConfigureFrame = App.CreateForm<TConfigureFrame>();
    ConfigureFrame->ApplyToPanel(*PrimaryWindow->Panel, *PrimaryWindow->Monitor());

    for (std::size_t Index = 0; Index < Monitors.size(); ++Index) {
        const TMonitor& Monitor = Monitors[Index];
        if (Monitor.Primary)
            continue;
        TFR_Saver* Window = App.CreateForm<TFR_Saver>();
        Window->setWindowTitle(QString::fromStdString(SecondaryCaption + std::to_string(Index)));
        Window->SetMonitor(Monitor);
        Window->ShowOnMonitor();
        // Every movement, over any monitor, is measured by the primary window from the
        // one first position it recorded, and ends the whole saver.
        const auto ToPrimary = [Primary = QPointer<TFR_Saver>(PrimaryWindow)](
                                   QObject* Sender, Qt::KeyboardModifiers Shift, std::int32_t X,
                                   std::int32_t Y) {
            if (Primary)
                Primary->FormMouseMove(Sender, Shift, X, Y);
        };
        Window->WindowMouse->OnMouseMove = ToPrimary;
        Window->PanelMouse->OnMouseMove = ToPrimary;
        ConfigureFrame->ApplyToPanel(*Window->Panel, *Window->Monitor());
        PrimaryWindow->Panel->LinkPanel(Window->Panel);
    }
    // The secondary windows were shown later and may have taken the focus; keys belong to
    // the primary monitor's window.
    PrimaryWindow->activateWindow();
    return PrimaryWindow;
}

namespace {
// The monitor that the host's window overlaps most (the desktop's primary when it
// overlaps none), whose layout it shows.
TMonitor MonitorUnder(const std::vector<TMonitor>& Monitors, const QRect& Window) {
    const TMonitor* Best = nullptr;
    long long BestArea = 0;
    for (const TMonitor& Monitor : Monitors) {
        // Qt keeps a screen's top-left corner in device pixels and scales its size.
        const QRect Device(Monitor.BoundsRect.topLeft(), QSize(Monitor.Width, Monitor.Height));
        const QRect Common = Device.intersected(Window);
        const long long Area = Common.isEmpty() ? 0 : 1LL * Common.width() * Common.height();
        if (Area > BestArea || (!Best && Monitor.Primary)) {
            Best = &Monitor;
            BestArea = Area;
        }
    }
    if (!Best && !Monitors.empty())
        Best = &Monitors.front();
    return Best ? *Best : TMonitor{};
}
} // namespace

QWidget* StartHostedSaverMode(THostWindow& Host) {
    TApplication& App = Application();
    const TX11Rect R = Host.Rect();
    const QRect Window(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
    const TMonitor Monitor = MonitorUnder(TMonitors::List(), Window);

    TFR_Saver* Saver = App.CreateForm<TFR_Saver>();
    Saver->setWindowTitle(PrimaryCaption);
    Saver->HostIn(Host.Window(), Window.size(), Monitor);
    Saver->Primary = true;
    PrimaryWindow = Saver;

    // Creating the dialog only reads the settings. Several copies run at once, maybe as
    // another user, and one that ends after the dialog saved must not put old values back.
    ConfigureFrame = App.CreateForm<TConfigureFrame>();
    ConfigureFrame->fsConfiguration->SetReadOnly(true);
    ConfigureFrame->ApplyToPanel(*Saver->Panel, Monitor);
    Saver->show();
    // A copy that cannot paint must not run on as if it did.
    if (!Saver->Embedded())
        throw EYstreloError("cannot paint in window " + WindowText(Host.Window()));
    return Saver;
}

void EndWindowedMode() {
    if (TApplication* App = TApplication::Instance())
        App->FreeForms();
    PrimaryWindow = nullptr;
    ConfigureFrame = nullptr;
}
